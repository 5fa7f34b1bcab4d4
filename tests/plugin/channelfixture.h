#pragma once

// A receiver channel in the value tree, built as the recorder manager builds
// it, and helpers to answer the toolbar's information box.

#include "values.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

namespace vrxtest {

class ChannelFixture
{
public:
    explicit ChannelFixture(const QString& path) : m_path(path)
    {
        values::Tree* tree = values::Tree::Instance();
        tree->CreateValue<values::Value<QString>>(key("DeviceID"), QStringLiteral("Dev1"));
        tree->CreateValue<values::Value<QString>>(key("RecordID"), QString());
        tree->CreateValue<values::ValueSelection>(key("ReplayMode"), 0L);
        tree->CreateValue<values::ValueSelection>(key("RecordReplayModes"), 5L);
        tree->CreateValue<values::ValueSelection>(key("AllRecordReplayModes"), 4L);
        for (const char* flag : {"RecordFlag", "ReplayFlag", "PauseSupported"})
            tree->CreateValue<values::Value<bool>>(key(flag), true);
        tree->CreateValue<values::Value<bool>>(key("TriggeredByCorbaCall"), false);
        for (const char* text : {"ErrorCode", "DataRateClass", "AllowedDevices", "RecordName"})
            tree->CreateValue<values::Value<QString>>(key(text), QString());
        tree->CreateValue<values::Value<int>>(key("FileSizeInKB"), 0);
        tree->CreateValue<values::Value<int>>(key("NoOfReplays"), 1);
        for (const char* position :
             {"StartPosition", "StopPosition", "ReplayBegin", "ReplayEnd", "CurrentReplayPosition"})
            tree->CreateValue<values::ValueNumeric<double>>(key(position), 0.0);
        tree->CreateValue<values::ValueNumeric<values::int64>>(key("Duration"), 0);
        tree->CreateValue<values::ValueNumeric<values::int64>>(key("RecordCounterStartTime"), 0);
    }
    ~ChannelFixture() { values::Tree::Instance()->Release(m_path); }

    QString path() const { return m_path; }
    QString key(const char* name) const { return m_path + QLatin1Char('/') + QLatin1String(name); }

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

// Answers the next modal message box with Ok and reports its text.
class MessageBoxAnswer
{
public:
    MessageBoxAnswer()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this]() {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
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
    bool m_answered = false;
    QString m_text;
    QString m_title;
    QMessageBox::StandardButtons m_buttons;
};

} // namespace vrxtest
