#pragma once

// GIOP 1.2 / CDR tools for the protocol wire tests: a TCP proxy that sits
// between an omniORB client and server, records every GIOP message and can
// alter or swallow one, plus a CDR reader and writer that follow the
// encoding rules independently of the ORB, so the tests can check the bytes
// the ORB produced instead of trusting the ORB to read its own output.

#include <QByteArray>
#include <QString>

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace giop {

enum class Direction { ToServer, ToClient };

enum MessageType : quint8 {
    Request = 0,
    Reply = 1,
    CancelRequest = 2,
    LocateRequest = 3,
    LocateReply = 4,
    CloseConnection = 5,
    MessageError = 6,
    Fragment = 7
};

enum ReplyStatus : quint32 { NoException = 0, UserException = 1, SystemException = 2, LocationForward = 3 };

constexpr int kHeaderSize = 12;

bool isGiop(const QByteArray& msg);
bool isLittleEndian(const QByteArray& msg);
quint8 messageType(const QByteArray& msg);

// Reads CDR. Positions and alignment count from the buffer's first byte:
// for GIOP 1.2 that is the start of the message header, for an
// encapsulation its byte-order octet.
class CdrReader
{
public:
    CdrReader(const QByteArray& data, bool little, int pos = 0);
    void align(int n);
    quint8 octet();
    quint16 ushort();
    quint32 ulong();
    quint64 ulonglong();
    QByteArray string(); // without the terminating NUL
    QByteArray octets(int n);
    int pos() const { return m_pos; }
    int remaining() const { return m_data.size() - m_pos; }
    // False once any read went past the end or a string was malformed.
    bool ok() const { return m_ok; }

private:
    quint64 readUnsigned(int size);

    const QByteArray m_data; // shared, not copied: readers may outlive their source
    bool m_little;
    int m_pos;
    bool m_ok = true;
};

// Writes CDR as the sender of a GIOP 1.2 message at absolute position
// `origin` would (alignment counts from the message start).
//
// Alignment gaps have no defined value (omniORB leaves whatever its buffer
// held), so comparisons go through hex(), which shows gaps as "..".
class CdrWriter
{
public:
    CdrWriter(bool little, int origin);
    CdrWriter& octet(quint8 v);
    CdrWriter& boolean(bool v);
    CdrWriter& ushort(quint16 v);
    CdrWriter& ulong(quint32 v);
    CdrWriter& ulonglong(quint64 v);
    CdrWriter& string(const QByteArray& v);
    const QByteArray& bytes() const { return m_bytes; }
    // The written bytes in hex, alignment gaps as "..".
    QString hex() const { return hexLike(m_bytes); }
    // `actual` in hex, with the positions of this writer's alignment gaps
    // shown as "..": equal to hex() when the layouts agree.
    QString hexLike(const QByteArray& actual) const;

private:
    void align(int n);
    void writeUnsigned(quint64 v, int size);

    bool m_little;
    int m_origin;
    QByteArray m_bytes;
    std::vector<bool> m_gap;
};

struct RequestView
{
    quint32 requestId = 0;
    quint8 responseFlags = 0;
    QByteArray objectKey;
    QByteArray operation;
    int bodyOffset = 0; // absolute; equals the message size when there is no body
};

struct ReplyView
{
    quint32 requestId = 0;
    quint32 status = 0;
    int bodyOffset = 0;
};

// GIOP 1.2 only (the version the tests ask for in their object URLs).
bool parseRequest(const QByteArray& msg, RequestView* out);
bool parseReply(const QByteArray& msg, ReplyView* out);

// Overwrites a value in place, in the message's own byte order.
void putULong(QByteArray& msg, int offset, quint32 value);

// Host and port of the first IIOP profile of a stringified IOR.
bool iiopAddress(const QByteArray& ior, QByteArray* host, quint16* port);

// The same IOR with the port of its first IIOP profile replaced. Everything
// else (type id, GIOP version, code set component) stays as the server
// published it.
QByteArray withIiopPort(const QByteArray& ior, quint16 port);

struct Message
{
    Direction dir;
    QByteArray bytes;
};

// Forwards TCP connections from its own loopback port to the server's,
// message by message. All connections are served by one thread.
class Proxy
{
public:
    // Called for each complete message before it is forwarded; may change
    // it. Returning false swallows it.
    using Hook = std::function<bool(Direction, QByteArray&)>;

    explicit Proxy(quint16 serverPort);
    ~Proxy();
    Proxy(const Proxy&) = delete;
    Proxy& operator=(const Proxy&) = delete;

    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    void setHook(Hook hook);
    void clear();
    std::vector<Message> messages() const;

private:
    struct Link;
    void run();
    bool pump(QByteArray& buffer, int peer, Direction dir);

    quint16 m_serverPort;
    quint16 m_port = 0;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    mutable std::mutex m_mutex;
    Hook m_hook;
    std::vector<Message> m_messages;
    std::thread m_thread;
};

} // namespace giop
