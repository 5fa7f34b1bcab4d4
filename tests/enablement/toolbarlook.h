#pragma once

// The look of a live toolbar as the operator sees it: which of its controls
// are usable, whether the bar itself is, and the road of the bar's enabled
// state and cursor while the state machine passes through transient states.

#include "livetoolbar.h"
#include "vcwidgets.h"
#include "vorexgui.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QPointer>
#include <QToolBar>
#include <QtTest>

namespace vrxtest {

// Short names of the controls that the enablement rules govern, in the order
// a look lists them.
inline const QStringList& controlNames()
{
    static const QStringList names = {QStringLiteral("record"),  QStringLiteral("replay"),
                                      QStringLiteral("openFile"), QStringLiteral("stop"),
                                      QStringLiteral("pause"),   QStringLiteral("edit"),
                                      QStringLiteral("history"), QStringLiteral("replayBar")};
    return names;
}

inline QString objectNameOf(const QString& control)
{
    static const QHash<QString, QString> objects = {
        {QStringLiteral("record"), QStringLiteral("VorexRecordingModesCombo")},
        {QStringLiteral("replay"), QStringLiteral("VorexReplayModesCombo")},
        {QStringLiteral("openFile"), QStringLiteral("VorexOpenFile")},
        {QStringLiteral("stop"), QStringLiteral("VorexStop")},
        {QStringLiteral("pause"), QStringLiteral("VorexPause")},
        {QStringLiteral("edit"), QStringLiteral("TBEditRecording")},
        {QStringLiteral("history"), QStringLiteral("VorexAddHistoryComment")},
        {QStringLiteral("replayBar"), QStringLiteral("VorexToolbarReplayBarWidget")},
    };
    return objects.value(control);
}

// Whether one control is usable once the bar itself is: an action by its own
// state, a widget by its own state and that of its parents below the bar.
inline bool controlEnabled(LiveToolbar& live, const QString& control, int channel = 0)
{
    const QString name = objectNameOf(control);
    if (QAction* action = live.bar(channel)->findChild<QAction*>(name))
        return action->isEnabled();
    QWidget* widget = live.widget(name, channel);
    return widget && widget->isEnabledTo(live.bar(channel));
}

// The usable controls, space separated in the order of controlNames(), so
// that a failing comparison shows the whole look.
inline QString look(LiveToolbar& live, int channel = 0)
{
    QStringList enabled;
    for (const QString& control : controlNames()) {
        if (controlEnabled(live, control, channel))
            enabled << control;
    }
    return enabled.join(QLatin1Char(' '));
}

// The looks of the settled states when every other input allows.
inline QString idleLook()
{
    return QStringLiteral("record replay openFile edit history replayBar");
}
inline QString recordingLook()
{
    return QStringLiteral("record stop history");
}
inline QString replayLook()
{
    return QStringLiteral("replay stop pause edit history replayBar");
}

// A look with some controls taken away.
inline QString without(const QString& full, const QStringList& removed)
{
    QStringList parts = full.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& r : removed)
        parts.removeAll(r);
    return parts.join(QLatin1Char(' '));
}

// Every change of the bar's enabled state, with the cursor it had then:
// "off/wait" for a transient state, "on/arrow" for a settled one.
class BarStateLog : public QObject
{
public:
    explicit BarStateLog(QToolBar* bar) : m_bar(bar) { bar->installEventFilter(this); }
    ~BarStateLog() override
    {
        if (m_bar)
            m_bar->removeEventFilter(this);
    }
    QStringList entries() const { return m_entries; }
    void clear() { m_entries.clear(); }

    static QString stateOf(QToolBar* bar)
    {
        const bool wait = bar->testAttribute(Qt::WA_SetCursor) && bar->cursor().shape() == Qt::WaitCursor;
        return QStringLiteral("%1/%2").arg(bar->isEnabled() ? QStringLiteral("on") : QStringLiteral("off"),
                                           wait ? QStringLiteral("wait") : QStringLiteral("arrow"));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_bar && event->type() == QEvent::EnabledChange)
            m_entries << stateOf(m_bar);
        return false;
    }

private:
    QPointer<QToolBar> m_bar;
    QStringList m_entries;
};

// The first completed record of the channel's current device.
inline QString firstCompletedRecord(LiveToolbar& live, QString* deviceId = nullptr, int channel = 0)
{
    auto device = live.value<values::Value<QString>>("DeviceID", channel);
    const QString id = device ? device->Get() : QString();
    if (deviceId)
        *deviceId = id;
    for (const VOREX_XML::VOREX_RecordData& record : live.backend().GetRecords(id)) {
        if (record.GetRecordStatus() == VOREX_XML::VOREX_RecordData::RecordStatusCompleted)
            return record.GetRecordID();
    }
    return QString();
}

// Makes a completed record the channel's current one and lets the toolbar
// follow.
inline bool selectSomeRecord(LiveToolbar& live, int channel = 0)
{
    QString device;
    const QString record = firstCompletedRecord(live, &device, channel);
    if (record.isEmpty())
        return false;
    live.simulator().SelectRecord(channel, device, record);
    settle();
    return true;
}

// Answers the record dialogs that a recording or replay may open on the way,
// for the lifetime of the object.
class DialogAnswers
{
public:
    DialogAnswers()
    {
        VorexGUI::RecordParameterDialog::SetAnswerHook([](VorexGUI::RecordParameterDialog&) { return 1; });
        VorexGUI::OpenFileDialog::SetAnswerHook([](VorexGUI::OpenFileDialog&) { return 0; });
    }
    ~DialogAnswers()
    {
        VorexGUI::RecordParameterDialog::SetAnswerHook(nullptr);
        VorexGUI::OpenFileDialog::SetAnswerHook(nullptr);
    }
};

} // namespace vrxtest
