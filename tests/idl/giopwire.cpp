#include "giopwire.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QStringList>

namespace giop {

bool isGiop(const QByteArray& msg)
{
    return msg.size() >= kHeaderSize && msg.startsWith("GIOP");
}

bool isLittleEndian(const QByteArray& msg)
{
    return (static_cast<quint8>(msg.at(6)) & 0x01) != 0;
}

quint8 messageType(const QByteArray& msg)
{
    return static_cast<quint8>(msg.at(7));
}

// ---------------------------------------------------------------- CdrReader

CdrReader::CdrReader(const QByteArray& data, bool little, int pos) : m_data(data), m_little(little), m_pos(pos) {}

void CdrReader::align(int n)
{
    m_pos = (m_pos + n - 1) / n * n;
    if (m_pos > m_data.size()) {
        m_ok = false;
        m_pos = m_data.size();
    }
}

quint64 CdrReader::readUnsigned(int size)
{
    align(size);
    if (remaining() < size) {
        m_ok = false;
        return 0;
    }
    quint64 v = 0;
    for (int i = 0; i < size; ++i) {
        const quint64 byte = static_cast<quint8>(m_data.at(m_pos + i));
        v |= byte << (8 * (m_little ? i : size - 1 - i));
    }
    m_pos += size;
    return v;
}

quint8 CdrReader::octet()
{
    return static_cast<quint8>(readUnsigned(1));
}

quint16 CdrReader::ushort()
{
    return static_cast<quint16>(readUnsigned(2));
}

quint32 CdrReader::ulong()
{
    return static_cast<quint32>(readUnsigned(4));
}

quint64 CdrReader::ulonglong()
{
    return readUnsigned(8);
}

QByteArray CdrReader::octets(int n)
{
    if (n < 0 || remaining() < n) {
        m_ok = false;
        return QByteArray();
    }
    const QByteArray out = m_data.mid(m_pos, n);
    m_pos += n;
    return out;
}

QByteArray CdrReader::string()
{
    const quint32 length = ulong();
    if (!m_ok || length == 0 || length > static_cast<quint32>(remaining())) {
        m_ok = false;
        return QByteArray();
    }
    QByteArray s = octets(static_cast<int>(length));
    if (s.at(s.size() - 1) != '\0')
        m_ok = false;
    s.chop(1);
    return s;
}

// ---------------------------------------------------------------- CdrWriter

CdrWriter::CdrWriter(bool little, int origin) : m_little(little), m_origin(origin) {}

void CdrWriter::align(int n)
{
    while ((m_origin + m_bytes.size()) % n != 0) {
        m_bytes.append('\0');
        m_gap.push_back(true);
    }
}

void CdrWriter::writeUnsigned(quint64 v, int size)
{
    align(size);
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (m_little ? i : size - 1 - i);
        m_bytes.append(static_cast<char>((v >> shift) & 0xff));
        m_gap.push_back(false);
    }
}

QString CdrWriter::hexLike(const QByteArray& actual) const
{
    QStringList out;
    for (int i = 0; i < actual.size(); ++i) {
        if (i < static_cast<int>(m_gap.size()) && m_gap[static_cast<size_t>(i)])
            out << QStringLiteral("..");
        else
            out << QString::fromLatin1(actual.mid(i, 1).toHex());
    }
    return out.join(QLatin1Char(' '));
}

CdrWriter& CdrWriter::octet(quint8 v)
{
    writeUnsigned(v, 1);
    return *this;
}

CdrWriter& CdrWriter::boolean(bool v)
{
    return octet(v ? 1 : 0);
}

CdrWriter& CdrWriter::ushort(quint16 v)
{
    writeUnsigned(v, 2);
    return *this;
}

CdrWriter& CdrWriter::ulong(quint32 v)
{
    writeUnsigned(v, 4);
    return *this;
}

CdrWriter& CdrWriter::ulonglong(quint64 v)
{
    writeUnsigned(v, 8);
    return *this;
}

CdrWriter& CdrWriter::string(const QByteArray& v)
{
    ulong(static_cast<quint32>(v.size() + 1));
    for (char c : v + '\0')
        writeUnsigned(static_cast<quint8>(c), 1);
    return *this;
}

// ------------------------------------------------------------ GIOP headers

namespace {

bool skipServiceContexts(CdrReader& r)
{
    const quint32 count = r.ulong();
    for (quint32 i = 0; i < count && r.ok(); ++i) {
        r.ulong(); // context id
        const quint32 length = r.ulong();
        if (length > static_cast<quint32>(r.remaining()))
            return false;
        r.octets(static_cast<int>(length));
    }
    return r.ok();
}

int bodyStart(const CdrReader& r, int size)
{
    // GIOP 1.2 aligns a body on 8; a message without body may end unpadded.
    const int aligned = (r.pos() + 7) / 8 * 8;
    return aligned < size ? aligned : size;
}

bool isVersion12(const QByteArray& msg)
{
    return isGiop(msg) && msg.at(4) == 1 && msg.at(5) == 2;
}

} // namespace

bool parseRequest(const QByteArray& msg, RequestView* out)
{
    if (!isVersion12(msg) || messageType(msg) != Request)
        return false;
    CdrReader r(msg, isLittleEndian(msg), kHeaderSize);
    out->requestId = r.ulong();
    out->responseFlags = r.octet();
    r.octets(3); // reserved
    const quint16 addressing = r.ushort();
    if (addressing != 0) // only KeyAddr, which omniORB sends by default
        return false;
    const quint32 keyLength = r.ulong();
    if (keyLength > static_cast<quint32>(r.remaining()))
        return false;
    out->objectKey = r.octets(static_cast<int>(keyLength));
    out->operation = r.string();
    if (!r.ok() || !skipServiceContexts(r))
        return false;
    out->bodyOffset = bodyStart(r, msg.size());
    return true;
}

bool parseReply(const QByteArray& msg, ReplyView* out)
{
    if (!isVersion12(msg) || messageType(msg) != Reply)
        return false;
    CdrReader r(msg, isLittleEndian(msg), kHeaderSize);
    out->requestId = r.ulong();
    out->status = r.ulong();
    if (!r.ok() || !skipServiceContexts(r))
        return false;
    out->bodyOffset = bodyStart(r, msg.size());
    return true;
}

void putULong(QByteArray& msg, int offset, quint32 value)
{
    const bool little = isLittleEndian(msg);
    for (int i = 0; i < 4; ++i) {
        const int shift = 8 * (little ? i : 3 - i);
        msg[offset + i] = static_cast<char>((value >> shift) & 0xff);
    }
}

namespace {

// Finds the first IIOP profile of an IOR in its binary form: the host and
// the absolute position and byte order of the port.
bool findIiopPort(const QByteArray& bytes, QByteArray* host, int* portOffset, bool* portLittle)
{
    if (bytes.isEmpty())
        return false;
    CdrReader r(bytes, (bytes.at(0) & 1) != 0, 1);
    r.string(); // type id
    const quint32 profiles = r.ulong();
    for (quint32 i = 0; i < profiles && r.ok(); ++i) {
        const quint32 tag = r.ulong();
        const quint32 length = r.ulong();
        if (length > static_cast<quint32>(r.remaining()))
            return false;
        const int start = r.pos();
        const QByteArray data = r.octets(static_cast<int>(length));
        if (tag != 0 || data.isEmpty()) // TAG_INTERNET_IOP
            continue;
        // The profile is an encapsulation: its alignment starts afresh.
        *portLittle = (data.at(0) & 1) != 0;
        CdrReader p(data, *portLittle, 1);
        p.octet(); // IIOP version
        p.octet();
        *host = p.string();
        p.align(2);
        *portOffset = start + p.pos();
        p.ushort();
        return p.ok();
    }
    return false;
}

} // namespace

bool iiopAddress(const QByteArray& ior, QByteArray* host, quint16* port)
{
    if (!ior.startsWith("IOR:"))
        return false;
    const QByteArray bytes = QByteArray::fromHex(ior.mid(4));
    int offset = 0;
    bool little = false;
    if (!findIiopPort(bytes, host, &offset, &little))
        return false;
    CdrReader r(bytes, little, offset);
    *port = r.ushort();
    return r.ok();
}

QByteArray withIiopPort(const QByteArray& ior, quint16 port)
{
    if (!ior.startsWith("IOR:"))
        return QByteArray();
    QByteArray bytes = QByteArray::fromHex(ior.mid(4));
    QByteArray host;
    int offset = 0;
    bool little = false;
    if (!findIiopPort(bytes, &host, &offset, &little))
        return QByteArray();
    bytes[offset + (little ? 0 : 1)] = static_cast<char>(port & 0xff);
    bytes[offset + (little ? 1 : 0)] = static_cast<char>(port >> 8);
    return "IOR:" + bytes.toHex();
}

// -------------------------------------------------------------------- Proxy

namespace {

bool sendAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t n = ::send(fd, p, static_cast<size_t>(left), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

int connectLoopback(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

} // namespace

struct Proxy::Link
{
    int client = -1;
    int server = -1;
    QByteArray fromClient;
    QByteArray fromServer;
};

Proxy::Proxy(quint16 serverPort) : m_serverPort(serverPort)
{
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        return;
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0)
        return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = 0;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_listen, 8) != 0
        || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
        return;
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { run(); });
}

Proxy::~Proxy()
{
    if (m_thread.joinable()) {
        const char stop = 's';
        while (::write(m_wake[1], &stop, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    for (int fd : {m_listen, m_wake[0], m_wake[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void Proxy::setHook(Hook hook)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hook = std::move(hook);
}

void Proxy::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.clear();
}

std::vector<Message> Proxy::messages() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

bool Proxy::pump(QByteArray& buffer, int peer, Direction dir)
{
    while (buffer.size() >= kHeaderSize) {
        if (!isGiop(buffer)) {
            // Not GIOP: pass it on untouched rather than guess at framing.
            const bool sent = sendAll(peer, buffer);
            buffer.clear();
            return sent;
        }
        const quint32 bodySize = CdrReader(buffer, isLittleEndian(buffer), 8).ulong();
        const qint64 total = kHeaderSize + static_cast<qint64>(bodySize);
        if (buffer.size() < total)
            return true;
        QByteArray msg = buffer.left(static_cast<int>(total));
        buffer.remove(0, static_cast<int>(total));
        bool forward = true;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_hook)
                forward = m_hook(dir, msg);
            m_messages.push_back({dir, msg});
        }
        if (forward && !sendAll(peer, msg))
            return false;
    }
    return true;
}

void Proxy::run()
{
    std::vector<Link> links;
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({m_wake[0], POLLIN, 0});
        fds.push_back({m_listen, POLLIN, 0});
        for (const Link& link : links) {
            fds.push_back({link.client, POLLIN, 0});
            fds.push_back({link.server, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents != 0)
            break;

        std::vector<bool> closed(links.size(), false);
        for (size_t i = 0; i < links.size(); ++i) {
            Link& link = links[i];
            const short fromClient = fds[2 + 2 * i].revents;
            const short fromServer = fds[3 + 2 * i].revents;
            char chunk[16384];
            if (fromClient != 0) {
                const ssize_t n = ::recv(link.client, chunk, sizeof chunk, 0);
                if (n <= 0)
                    closed[i] = true;
                else {
                    link.fromClient.append(chunk, static_cast<int>(n));
                    closed[i] = !pump(link.fromClient, link.server, Direction::ToServer);
                }
            }
            if (fromServer != 0 && !closed[i]) {
                const ssize_t n = ::recv(link.server, chunk, sizeof chunk, 0);
                if (n <= 0)
                    closed[i] = true;
                else {
                    link.fromServer.append(chunk, static_cast<int>(n));
                    closed[i] = !pump(link.fromServer, link.client, Direction::ToClient);
                }
            }
        }
        for (size_t i = links.size(); i-- > 0;) {
            if (closed[i]) {
                ::close(links[i].client);
                ::close(links[i].server);
                links.erase(links.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }

        if (fds[1].revents != 0) {
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                const int server = connectLoopback(m_serverPort);
                if (server < 0) {
                    ::close(client);
                } else {
                    const int one = 1;
                    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    Link link;
                    link.client = client;
                    link.server = server;
                    links.push_back(link);
                }
            }
        }
    }
    for (const Link& link : links) {
        ::close(link.client);
        ::close(link.server);
    }
}

} // namespace giop
