#pragma once

// Probes for suites that drive a live toolbar: traces with the thread that
// wrote them, the connector's signals in the order they fire, and the
// toolbar's own observer (to write a value as the toolbar does).

#include "base.h"
#include "livetoolbar.h"
#include "values.h"

#include <QObject>
#include <QStringList>
#include <QThread>

#include <mutex>
#include <vector>

namespace vrxtest {

// Traces with their thread, while alive, under the given mask.
class ThreadTraceLog
{
public:
    struct Entry
    {
        QString text;
        QThread* thread;
    };

    explicit ThreadTraceLog(unsigned int mask = ErrorHandler::TraceFlow | ErrorHandler::TraceWarnings)
        : m_oldMask(ErrorHandler::Instance()->GetTraceMask())
    {
        ErrorHandler::Instance()->SetTraceMask(mask);
        m_id = ErrorHandler::Instance()->AddTraceSink([this](const TraceRecord& r) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_entries.push_back(Entry{r.text, QThread::currentThread()});
        });
    }
    ~ThreadTraceLog()
    {
        ErrorHandler::Instance()->RemoveTraceSink(m_id);
        ErrorHandler::Instance()->SetTraceMask(m_oldMask);
    }
    ThreadTraceLog(const ThreadTraceLog&) = delete;
    ThreadTraceLog& operator=(const ThreadTraceLog&) = delete;

    std::vector<Entry> entries() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries;
    }
    QStringList texts() const
    {
        QStringList out;
        for (const Entry& e : entries())
            out << e.text;
        return out;
    }
    int count(const QString& text) const { return texts().count(text); }
    // How often `text` was traced on `thread`, and on any other thread.
    int countOn(const QString& text, QThread* thread) const
    {
        int n = 0;
        for (const Entry& e : entries())
            n += (e.text == text && e.thread == thread) ? 1 : 0;
        return n;
    }
    int countOff(const QString& text, QThread* thread) const
    {
        int n = 0;
        for (const Entry& e : entries())
            n += (e.text == text && e.thread != thread) ? 1 : 0;
        return n;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.clear();
    }

private:
    unsigned int m_oldMask;
    int m_id = 0;
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
};

// The connector's seven signals, in firing order, with the thread each
// fired on. Connected by signature, as the owners connect them.
class SignalLog : public QObject
{
    Q_OBJECT
public:
    explicit SignalLog(QObject* connector)
    {
        connect(connector, SIGNAL(signalRecordRemoved()), this, SLOT(recordRemoved()));
        connect(connector, SIGNAL(signalRecordDataUpdated()), this, SLOT(recordDataUpdated()));
        connect(connector, SIGNAL(signalChannelUpdated()), this, SLOT(channelUpdated()));
        connect(connector, SIGNAL(signalChannelDeleted()), this, SLOT(channelDeleted()));
        connect(connector, SIGNAL(signalRecordChanging()), this, SLOT(recordChanging()));
        connect(connector, SIGNAL(signalRecordChanged()), this, SLOT(recordChanged()));
        connect(connector, SIGNAL(signalDeviceChanged()), this, SLOT(deviceChanged()));
    }
    QStringList names;
    QList<QThread*> threads;
    // Without the channel updates, which every value creation brings.
    QStringList withoutChannelUpdates() const
    {
        QStringList out = names;
        out.removeAll(QStringLiteral("ChannelUpdated"));
        return out;
    }
    void clear()
    {
        names.clear();
        threads.clear();
    }

private slots:
    void recordRemoved() { log("RecordRemoved"); }
    void recordDataUpdated() { log("RecordDataUpdated"); }
    void channelUpdated() { log("ChannelUpdated"); }
    void channelDeleted() { log("ChannelDeleted"); }
    void recordChanging() { log("RecordChanging"); }
    void recordChanged() { log("RecordChanged"); }
    void deviceChanged() { log("DeviceChanged"); }

private:
    void log(const char* name)
    {
        names << QLatin1String(name);
        threads << QThread::currentThread();
    }
};

// The toolbar's hidden widget (the connector that carries the signals).
inline QWidget* toolbarWidget(LiveToolbar& live, int channel = 0)
{
    const QList<QWidget*> all = live.parent()->findChildren<QWidget*>(QStringLiteral("VorexToolbarWidget"));
    for (QWidget* w : all)
        if (dynamic_cast<IVRXRTB*>(w) == live.toolbar(channel))
            return w;
    return nullptr;
}

// The toolbar's observer, to write a value the way the toolbar does.
inline IObserver* toolbarObserver(LiveToolbar& live, int channel = 0)
{
    return dynamic_cast<IObserver*>(live.toolbar(channel));
}

} // namespace vrxtest
