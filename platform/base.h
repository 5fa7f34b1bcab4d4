#pragma once

// Host base library: tracing, error handler, observer interface, host clock.

#include "platform_export.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <mutex>
#include <vector>

class QWidget;

// A text kept beyond the call that handed it over, in its own memory. A
// plug-in module's string literals live in the module's memory, which goes
// when the module is unloaded; what the host's libraries keep for the
// process (values, logs, registrations) must not point there.
inline QString OwnedText(const QString& text)
{
    return text.isDetached() ? text : QString(text.constData(), text.size());
}
class Observable;

// Notification codes of the value tree.
typedef int TChangeCode;
enum : int {
    VC_STATECHANGED = 2,
    VC_VALUECHANGED = 3,
    VC_DELETING = 18
};

class VRXPLATFORM_EXPORT IObserver
{
public:
    virtual ~IObserver() = default;
    virtual void Update(Observable* observable, TChangeCode code) = 0;
};

// Writes one trace line. The caller has already checked the trace mask.
VRXPLATFORM_EXPORT void _Q_Trace(const QString& text, const QString& file, unsigned short line);

struct TraceRecord
{
    QString text;
    QString file;
    unsigned short line = 0;
};

struct MessageRecord
{
    QString text;
    bool flag1 = false;
    int number = 0;
    bool flag2 = false;
    // The class of the error the text came from, for the message's icon:
    // 0 information, 1 warning, 2 error, 3 fatal (the recorder client's
    // error classifiers); -1 when the text came from no error table.
    int messageClass = -1;
};

class VRXPLATFORM_EXPORT ErrorHandler
{
public:
    enum TraceBits : unsigned int {
        TraceWarnings = 32,
        TraceFlow = 64
    };

    typedef std::function<void(const TraceRecord&)> TraceSink;
    typedef std::function<void(const MessageRecord&)> MessageSink;

    static ErrorHandler* Instance();

    unsigned int GetTraceMask() const;
    void SetTraceMask(unsigned int mask);
    bool IsTraceOn(unsigned int bit) const { return (GetTraceMask() & bit) != 0; }

    // Shows a text to the operator. The host decides how: the demo routes it to
    // a message box, tests record it. Never blocks unless the installed sink does.
    void Message(const QString& text, bool flag1, int number, bool flag2);
    // Notes the class of a text an error table hands out, so that Message()
    // can tell it to the host with the text (MessageRecord::messageClass).
    // The latest classes of a few hundred texts are kept.
    void NoteMessageClass(const QString& text, int messageClass);

    // Dialog whose window title is the caption of host messages; may be null.
    QWidget* GetMessageDlg() const;
    void SetMessageDlg(QWidget* dialog);

    // Sinks; an empty function removes the sink. Return an id for removal.
    int AddTraceSink(TraceSink sink);
    void RemoveTraceSink(int id);
    void SetMessageSink(MessageSink sink);

    // Messages that reached Message() since the last call (for tests and logs).
    std::vector<MessageRecord> TakeMessages();

    void WriteTrace(const TraceRecord& record);

private:
    ErrorHandler() = default;
    mutable std::mutex m_mutex;
    unsigned int m_traceMask = 0;
    QWidget* m_pMessageDlg = nullptr;
    std::vector<std::pair<int, TraceSink>> m_traceSinks;
    int m_nextSinkId = 1;
    MessageSink m_messageSink;
    std::vector<MessageRecord> m_messages;
    std::vector<std::pair<QString, int>> m_messageClasses; // newest last
};

// Host clock in microseconds.
class VRXPLATFORM_EXPORT HaldaOS
{
public:
    typedef std::function<qint64()> Clock;
    static qint64 Get();
    // Replaces the clock (tests); an empty function restores the system clock.
    static void SetClock(Clock clock);
};

namespace Halda {
class VRXPLATFORM_EXPORT DateTime
{
public:
    static qint64 secToMicrosec(qint64 seconds) { return seconds * 1000000; }
};
} // namespace Halda
