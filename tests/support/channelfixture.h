#pragma once

// A receiver channel in the value tree, built as the recorder manager builds
// it (all at once, or value by value for binding roads that need values to
// appear while a toolbar is already bound), and a helper to answer the
// toolbar's information box.

#include "values.h"
#include "vorexclient.h"

#include <QApplication>
#include <QHash>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace vrxtest {

inline QString channelKey(const QString& channel, const QString& key)
{
    return channel + QLatin1Char('/') + key;
}

// Creates one value of the channel with the manager's type and initial content.
inline void createChannelValue(const QString& channel, const QString& key)
{
    using VOREX_XML::Admin;
    values::Tree* tree = values::Tree::Instance();
    const QString path = channelKey(channel, key);
    static const QHash<QString, QString> texts = {{"DeviceID", "Dev1"}, {"AllowedDevices", "Dev1@Dev2@Dev3"},
        {"DataRateClass", "DataRate3"}, {"ReplayDataRateClass", "DataRate3"}, {"ErrorCode", ""}, {"RecordName", ""}, {"RecordID", ""}};
    auto selection = [&](long count, long initial, QString (*name)(long)) {
        auto value = tree->CreateValue<values::ValueSelection>(path, initial);
        for (long k = 0; k < count; ++k)
            value->AddItem(values::SelItemDesc(name(k), double(k), k));
    };
    if (key == QLatin1String("RecordReplayModes"))
        selection(6, Admin::eRecordReplayMode_Stop, &Admin::RecordReplayModeToName);
    else if (key == QLatin1String("AllRecordReplayModes"))
        selection(5, Admin::eRecordReplayAllModes_Stopped, &Admin::RecordReplayAllModesToName);
    else if (key == QLatin1String("ReplayMode"))
        selection(6, Admin::eReplayMode_Stopped, &Admin::ReplayModeToName);
    else if (QStringList{"RecordFlag", "ReplayFlag", "PauseSupported", "TriggeredByCorbaCall"}.contains(key))
        tree->CreateValue<values::Value<bool>>(path, key != QLatin1String("TriggeredByCorbaCall"));
    else if (texts.contains(key))
        tree->CreateValue<values::Value<QString>>(path, texts.value(key));
    else if (QStringList{"FileSizeInKB", "RecordTimeout", "NoOfReplays"}.contains(key))
        tree->CreateValue<values::Value<int>>(path, key == QLatin1String("NoOfReplays") ? 1 : 0);
    else
        tree->CreateValue<values::ValueNumeric<values::int64>>(path, 0);
}

// Every value of a channel, mode values first as the manager creates them.
inline void createChannel(const QString& channel)
{
    for (const char* key : {"RecordReplayModes", "AllRecordReplayModes", "ReplayMode", "RecordFlag", "ReplayFlag",
                            "PauseSupported", "TriggeredByCorbaCall", "ErrorCode", "DataRateClass", "AllowedDevices",
                            "RecordName", "DeviceID", "RecordID", "ReplayDataRateClass", "FileSizeInKB", "NoOfReplays",
                            "RecordTimeout", "Duration", "RecordCounterStartTime", "StartPosition", "StopPosition",
                            "ReplayBegin", "ReplayEnd", "CurrentReplayPosition"})
        createChannelValue(channel, QLatin1String(key));
}

// A channel for the life of a test.
class ChannelFixture
{
public:
    explicit ChannelFixture(const QString& path) : m_path(path) { createChannel(path); }
    ~ChannelFixture() { values::Tree::Instance()->Release(m_path); }

    QString path() const { return m_path; }
    QString key(const char* name) const { return channelKey(m_path, QLatin1String(name)); }

    // Observers attached to the channel node and every value below it.
    int observerCount() const
    {
        auto node = values::Tree::Instance()->FindNode(m_path);
        if (!node)
            return -1;
        int count = node->ObserverCount();
        for (const auto& child : node->GetChildren())
            count += child->ObserverCount();
        return count;
    }

private:
    QString m_path;
};

// Answers the next modal message box with Ok and reports it. Any other modal
// window still open after a second is closed, so that a test fails instead
// of waiting.
class MessageBoxAnswer
{
public:
    MessageBoxAnswer()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this]() {
            QWidget* modal = QApplication::activeModalWidget();
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) {
                if (modal && ++m_ticks > 200)
                    modal->close();
                return;
            }
            m_text = box->text();
            m_title = box->windowTitle();
            m_buttons = box->standardButtons();
            m_answered = true;
            m_timer.stop();
            box->done(QMessageBox::Ok);
        });
        m_timer.start();
    }
    bool answered() const { return m_answered; }
    QString text() const { return m_text; }
    QString title() const { return m_title; }
    QMessageBox::StandardButtons buttons() const { return m_buttons; }

private:
    QTimer m_timer;
    int m_ticks = 0;
    bool m_answered = false;
    QString m_text;
    QString m_title;
    QMessageBox::StandardButtons m_buttons;
};

} // namespace vrxtest
