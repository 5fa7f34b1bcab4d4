#pragma once

// Helpers shared by the test suites.

#include "base.h"
#include "values.h"
#include "vorexclient.h"

#include <QStringList>
#include <QThread>
#include <QtTest>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vrxtest {

// Lets every queued call and posted event run, including those they post in
// turn, for at most `maxRounds` rounds of the event loop.
inline void settle(int maxRounds = 50)
{
    for (int i = 0; i < maxRounds; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// Captures traces while alive, with the given mask set.
class TraceCapture
{
public:
    explicit TraceCapture(unsigned int mask = ErrorHandler::TraceFlow | ErrorHandler::TraceWarnings)
        : m_oldMask(ErrorHandler::Instance()->GetTraceMask())
    {
        ErrorHandler::Instance()->SetTraceMask(mask);
        m_id = ErrorHandler::Instance()->AddTraceSink([this](const TraceRecord& r) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_records.push_back(r);
        });
    }
    ~TraceCapture()
    {
        ErrorHandler::Instance()->RemoveTraceSink(m_id);
        ErrorHandler::Instance()->SetTraceMask(m_oldMask);
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::vector<TraceRecord> records() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_records;
    }
    QStringList texts() const
    {
        QStringList out;
        for (const TraceRecord& r : records())
            out << r.text;
        return out;
    }
    bool contains(const QString& text) const { return texts().contains(text); }
    int count(const QString& text) const { return texts().count(text); }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_records.clear();
    }

private:
    unsigned int m_oldMask;
    int m_id = 0;
    mutable std::mutex m_mutex;
    std::vector<TraceRecord> m_records;
};

struct Notification
{
    Observable* observable;
    TChangeCode code;
    QThread* thread;
};

// Records what it is told, from any thread.
class RecordingObserver : public IObserver
{
public:
    void Update(Observable* observable, TChangeCode code) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_seen.push_back(Notification{observable, code, QThread::currentThread()});
        }
        // Outside the lock: the hook may cause further notifications to us.
        if (m_onUpdate)
            m_onUpdate(observable, code);
    }
    std::vector<Notification> seen() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }
    int count(TChangeCode code) const
    {
        int n = 0;
        for (const Notification& s : seen())
            n += s.code == code ? 1 : 0;
        return n;
    }
    std::function<void(Observable*, TChangeCode)> m_onUpdate;

private:
    mutable std::mutex m_mutex;
    std::vector<Notification> m_seen;
};

// A RecordingObserver attached to one observable for its own lifetime, so
// that a failing check cannot leave it attached.
class ScopedObserver : public RecordingObserver
{
public:
    template <typename T>
    explicit ScopedObserver(const std::shared_ptr<T>& observed) : m_observed(observed)
    {
        m_observed->AddObserver(this);
    }
    ~ScopedObserver() override { m_observed->RemoveObserver(this); }

private:
    std::shared_ptr<Observable> m_observed;
};

// A record of the given data-rate class and status over 1 s to `stopTime`.
inline VOREX_XML::VOREX_RecordData makeRecord(const QString& id, const QString& name, int rate = 3,
                                              int status = VOREX_XML::VOREX_RecordData::RecordStatusCompleted,
                                              quint64 stopTime = 4000000)
{
    VOREX_XML::VOREX_RecordData record(id, name);
    record.SetDataRate(static_cast<VOREX_XML::VOREX_RecordData::DataRate>(rate));
    record.SetRecordStatus(status);
    record.SetStartTime(1000000);
    record.SetStopTime(stopTime);
    return record;
}

// Fails the running test on any Qt warning or critical message raised in the
// GUI thread; install in initTestCase. (Not compatible with
// QTest::ignoreMessage: a suite that expects warnings does not install it.)
inline void failOnQtWarnings()
{
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
        if (previous)
            previous(type, ctx, msg);
        const bool guiThread = QCoreApplication::instance()
            && QThread::currentThread() == QCoreApplication::instance()->thread();
        // The offscreen platform notes what it cannot do when a dialog is laid
        // out or re-parented; no fault of the code under test.
        const bool offscreenNote = msg.contains(QLatin1String("does not support propagateSizeHints"))
            || msg.contains(QLatin1String("does not support setParent"));
        if (guiThread && !offscreenNote && (type == QtWarningMsg || type == QtCriticalMsg))
            QTest::qFail(qPrintable(QStringLiteral("unexpected Qt warning: ") + msg), ctx.file ? ctx.file : "", ctx.line);
    });
}

} // namespace vrxtest
