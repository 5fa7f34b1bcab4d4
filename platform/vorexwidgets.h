#pragma once

// Recorder widget library: device chooser, free disc space, duration counter.
// They follow their bound values like the value-bound widgets (vcwidgets.h):
// notifications from any thread, widgets touched in their own thread, and
// "owner's wish AND value usable" for the enabled state.

#include "platform_export.h"
#include "vcwidgets.h"
#include "vorexclient.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>

#include <memory>

class QTimer;

namespace vcdetail {
class ValueLink;
}

// Lists the devices of a device handler and is bound to a device-ID (string)
// value: it shows the value's device and writes the operator's choice into
// it. While recording or replay is on the choice is locked (disabled).
class VRXPLATFORM_EXPORT DeviceCombo : public QComboBox
{
    Q_OBJECT
public:
    DeviceCombo(QWidget* parent, VorexCommon::DeviceHandler* deviceHandler, const QString& name, const QString& subSystem);
    ~DeviceCombo() override;

    // False when refused: no string value at `path`.
    bool SetDevice_ValuePath(const QString& path);
    QString GetDevice_ValuePath() const;
    void SetRecordingOn(bool on);
    void SetReplayOn(bool on);
    bool IsLocked() const { return m_bRecordingOn || m_bReplayOn; }
    // The device shown (empty when none).
    QString CurrentDevice() const;

    bool IsValueUsable() const { return m_gate.IsValueUsable(); }
    bool isEnabledByOwner() const { return m_gate.IsEnabledByOwner(); }

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    void sl_devicesChanged();
    void sl_activated(int index);

private:
    void Refresh();
    void UpdateUsable();
    QPointer<VorexCommon::DeviceHandler> m_pDeviceHandler;
    QString m_strSubSystem;
    std::unique_ptr<vcdetail::ValueLink> m_link;
    VCEnableGate m_gate;
    bool m_bRecordingOn = false;
    bool m_bReplayOn = false;
    bool m_bRefreshing = false;
};

// Free disc space of the device named by a device-ID value, as a bar of the
// free part (per mille of the total) with the free space as text ("12.5 GiB free"). Without a known
// device the bar is empty and the text is "-". Little space left turns the
// bar the warning colour (below 10 % free) or the critical colour (below 2 %),
// its whole groove tinted, so that it shows also where the free part is thin.
class VRXPLATFORM_EXPORT DiscSpaceBar : public QProgressBar
{
    Q_OBJECT
public:
    DiscSpaceBar(QWidget* parent, const QString& rootPath);
    ~DiscSpaceBar() override;

    bool SetDevice_ValuePath(const QString& path);
    QString GetDevice_ValuePath() const;
    QString CurrentDevice() const;
    QString text() const override;

    enum Level { eLevelNormal, eLevelLow, eLevelCritical };
    Level GetLevel() const { return m_level; }
    // The colour of the free part at `level` (invalid for the normal one,
    // which is the palette's highlight).
    static QColor LevelColor(Level level, const QPalette& palette);

    // "512 B", "1.5 KiB", "12.5 GiB", ...
    static QString FormatBytes(quint64 bytes);

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void sl_deviceChanged(const QString& deviceId);

private:
    void Refresh();
    Level m_level = eLevelNormal;
    QString m_strRootPath;
    std::unique_ptr<vcdetail::ValueLink> m_link;
    QString m_strText;
};

// Duration display "hh:mm:ss". Running, it shows the time since its start on
// the host clock and ticks once a second, with a red dot before the time;
// stopped, it shows the last duration set (SetDuration or the bound duration
// value). Durations in microseconds.
class VRXPLATFORM_EXPORT TickCounter : public QLabel
{
    Q_OBJECT
public:
    TickCounter(QWidget* parent, const QString& name);
    ~TickCounter() override;

    // Numeric value holding the start time (host-clock microseconds) of the
    // record being recorded; used by RestartCounter.
    bool SetRecordCounter_ValuePath(const QString& path);
    // Numeric value holding a duration (microseconds), shown while stopped.
    bool SetDurationCounter_ValuePath(const QString& path);

    // Starts counting from 0.
    void StartCounter();
    void StopCounter();
    // Counts on from `deviceTime` - record start time (the record counter
    // value) when both are known and the start is not later; else from 0.
    void RestartCounter(quint64 deviceTime);
    // Shows `duration` (microseconds); does not stop a running counter.
    void SetDuration(qint64 duration);

    bool IsRunning() const { return m_bRunning; }
    // Duration shown now, in microseconds.
    qint64 CurrentDuration() const;
    static QString FormatDuration(qint64 microseconds);

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void sl_tick();

private:
    void Refresh();
    std::unique_ptr<vcdetail::ValueLink> m_startLink;
    std::unique_ptr<vcdetail::ValueLink> m_durationLink;
    QTimer* m_pTimer;
    bool m_bRunning = false;
    qint64 m_nBase = 0;       // duration at m_nClockStart
    qint64 m_nClockStart = 0; // host clock when counting (re)started
    qint64 m_nDuration = 0;   // shown while stopped
};
