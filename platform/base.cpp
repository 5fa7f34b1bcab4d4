#include "base.h"

#include <QDateTime>

#include <algorithm>
#include <atomic>
#include <chrono>

void _Q_Trace(const QString& text, const QString& file, unsigned short line)
{
    ErrorHandler::Instance()->WriteTrace(TraceRecord{text, file, line});
}

ErrorHandler* ErrorHandler::Instance()
{
    static ErrorHandler instance;
    return &instance;
}

unsigned int ErrorHandler::GetTraceMask() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_traceMask;
}

void ErrorHandler::SetTraceMask(unsigned int mask)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_traceMask = mask;
}

void ErrorHandler::Message(const QString& text, bool flag1, int number, bool flag2)
{
    MessageRecord record{OwnedText(text), flag1, number, flag2, -1};
    MessageSink sink;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_messageClasses.rbegin(); it != m_messageClasses.rend(); ++it)
            if (it->first == text) {
                record.messageClass = it->second;
                break;
            }
        // Bounded: a long-running host that never takes them must not grow.
        if (m_messages.size() >= 1000)
            m_messages.erase(m_messages.begin());
        m_messages.push_back(record);
        sink = m_messageSink;
    }
    // Called outside the lock: a message box sink runs a nested event loop.
    if (sink)
        sink(record);
}

void ErrorHandler::NoteMessageClass(const QString& text, int messageClass)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = std::find_if(m_messageClasses.begin(), m_messageClasses.end(),
                           [&text](const std::pair<QString, int>& entry) { return entry.first == text; });
    if (it != m_messageClasses.end())
        m_messageClasses.erase(it);
    else if (m_messageClasses.size() >= 256)
        m_messageClasses.erase(m_messageClasses.begin());
    m_messageClasses.emplace_back(OwnedText(text), messageClass);
}

QWidget* ErrorHandler::GetMessageDlg() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pMessageDlg;
}

void ErrorHandler::SetMessageDlg(QWidget* dialog)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pMessageDlg = dialog;
}

int ErrorHandler::AddTraceSink(TraceSink sink)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int id = m_nextSinkId++;
    m_traceSinks.emplace_back(id, std::move(sink));
    return id;
}

void ErrorHandler::RemoveTraceSink(int id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_traceSinks.begin(); it != m_traceSinks.end(); ++it) {
        if (it->first == id) {
            m_traceSinks.erase(it);
            return;
        }
    }
}

void ErrorHandler::SetMessageSink(MessageSink sink)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messageSink = std::move(sink);
}

std::vector<MessageRecord> ErrorHandler::TakeMessages()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<MessageRecord> out;
    out.swap(m_messages);
    return out;
}

void ErrorHandler::WriteTrace(const TraceRecord& record)
{
    std::vector<std::pair<int, TraceSink>> sinks;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sinks = m_traceSinks;
    }
    for (const auto& sink : sinks)
        sink.second(record);
}

namespace {
std::mutex g_clockMutex;
HaldaOS::Clock g_clock;

qint64 systemMicroseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}
} // namespace

qint64 HaldaOS::Get()
{
    Clock clock;
    {
        std::lock_guard<std::mutex> lock(g_clockMutex);
        clock = g_clock;
    }
    return clock ? clock() : systemMicroseconds();
}

void HaldaOS::SetClock(Clock clock)
{
    std::lock_guard<std::mutex> lock(g_clockMutex);
    g_clock = std::move(clock);
}
