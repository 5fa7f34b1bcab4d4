#include "recordstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using VOREX_XML::BookmarkEntry;
using VOREX_XML::HistoryEntry;
using VOREX_XML::IndexEntry;
using VOREX_XML::VOREX_RecordData;

namespace VorexSim {

namespace {

const QString kRecordFormat = QStringLiteral("vrx-record");
const QString kCountersFormat = QStringLiteral("vrx-manager-state");
const QString kCountersFile = QStringLiteral("manager.json");
const QString kLockFile = QStringLiteral("manager.lock");
const QString kTempPrefix = QStringLiteral(".tmp-");
constexpr int kVersion = 1;

const QRegularExpression& recordFilePattern()
{
    static const QRegularExpression re(QStringLiteral("\\A(REC-[0-9]+)\\.json\\z"));
    return re;
}

// The name the store gives its temporary files: the target, the writer's
// process and a serial, so that two writers never share one.
const QRegularExpression& tempFilePattern()
{
    static const QRegularExpression re(QStringLiteral("\\A\\.tmp-(REC-[0-9]+\\.json|manager\\.json)-[0-9]+-[0-9]+\\z"));
    return re;
}

QString errnoText(int error)
{
    return qt_error_string(error);
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QJsonValue u64(quint64 v)
{
    return QString::number(v);
}

// Reading helpers: each records the first reason the object is unusable.
class Reader
{
public:
    explicit Reader(const QJsonObject& o) : m_o(o) {}

    bool ok() const { return m_reason.isEmpty(); }
    QString reason() const { return m_reason; }
    void fail(const QString& reason)
    {
        if (m_reason.isEmpty())
            m_reason = reason;
    }

    QString text(const QString& key, int maxLength) { return textOf(m_o.value(key), key, maxLength); }
    QString textOf(const QJsonValue& v, const QString& what, int maxLength)
    {
        if (!v.isString()) {
            fail(QStringLiteral("\"%1\" is missing or not text").arg(what));
            return QString();
        }
        const QString s = v.toString();
        if (s.size() > maxLength)
            fail(QStringLiteral("\"%1\" is longer than %2 characters").arg(what).arg(maxLength));
        return s;
    }
    int integer(const QString& key, int min, int max)
    {
        const QJsonValue v = m_o.value(key);
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || std::trunc(d) != d || d < min || d > max) {
            fail(QStringLiteral("\"%1\" is missing or not a whole number from %2 to %3").arg(key).arg(min).arg(max));
            return min;
        }
        return int(d);
    }
    quint64 number(const QString& key) { return numberOf(m_o.value(key), key); }
    quint64 numberOf(const QJsonValue& v, const QString& what)
    {
        bool ok = false;
        const QString s = v.toString();
        // Decimal digits only: toULongLong would also take blanks and a sign.
        const bool digits = !s.isEmpty() && s.size() <= 20
                            && std::all_of(s.begin(), s.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
        const quint64 n = digits ? s.toULongLong(&ok) : 0;
        if (!v.isString() || !ok)
            fail(QStringLiteral("\"%1\" is missing or not a decimal number").arg(what));
        return n;
    }
    QJsonArray array(const QString& key)
    {
        const QJsonValue v = m_o.value(key);
        if (!v.isArray())
            fail(QStringLiteral("\"%1\" is missing or not a list").arg(key));
        return v.toArray();
    }

private:
    QJsonObject m_o;
    QString m_reason;
};

QString checkTexts(const VOREX_RecordData& record)
{
    if (record.GetRecordName().size() > RecordStore::MaxNameLength)
        return QStringLiteral("the record name is longer than %1 characters").arg(RecordStore::MaxNameLength);
    for (const BookmarkEntry& b : record.GetBookmarkEntry()) {
        if (b.GetBookmark().size() > RecordStore::MaxTextLength)
            return QStringLiteral("a bookmark text is longer than %1 characters").arg(RecordStore::MaxTextLength);
    }
    for (const HistoryEntry& h : record.GetHistory()) {
        if (h.GetText().size() > RecordStore::MaxTextLength)
            return QStringLiteral("a history line is longer than %1 characters").arg(RecordStore::MaxTextLength);
    }
    return QString();
}

QByteArray recordToJson(const QString& deviceId, const VOREX_RecordData& r)
{
    QJsonArray index;
    for (const IndexEntry& e : r.GetIndexEntry())
        index.append(QJsonObject{{QStringLiteral("time"), u64(e.GetTimestamp())}, {QStringLiteral("offset"), u64(e.GetRecordOffset())}});
    QJsonArray bookmarks;
    for (const BookmarkEntry& b : r.GetBookmarkEntry())
        bookmarks.append(QJsonObject{{QStringLiteral("time"), u64(b.GetTimestamp())}, {QStringLiteral("text"), b.GetBookmark()}});
    QJsonArray history;
    for (const HistoryEntry& h : r.GetHistory())
        history.append(QJsonObject{{QStringLiteral("time"), u64(h.GetTimestamp())}, {QStringLiteral("text"), h.GetText()}});

    QJsonObject o;
    o.insert(QStringLiteral("format"), kRecordFormat);
    o.insert(QStringLiteral("version"), kVersion);
    o.insert(QStringLiteral("recordId"), r.GetRecordID());
    o.insert(QStringLiteral("deviceId"), deviceId);
    o.insert(QStringLiteral("name"), r.GetRecordName());
    o.insert(QStringLiteral("status"), r.GetRecordStatus());
    o.insert(QStringLiteral("dataFormat"), r.GetDataFormat());
    o.insert(QStringLiteral("dataRate"), int(r.GetDataRate()));
    o.insert(QStringLiteral("startTime"), u64(r.GetStartTime()));
    o.insert(QStringLiteral("stopTime"), u64(r.GetStopTime()));
    o.insert(QStringLiteral("startPosition"), u64(r.GetStartPosition()));
    o.insert(QStringLiteral("stopPosition"), u64(r.GetStopPosition()));
    o.insert(QStringLiteral("size"), u64(r.GetRecordSize()));
    o.insert(QStringLiteral("index"), index);
    o.insert(QStringLiteral("bookmarks"), bookmarks);
    o.insert(QStringLiteral("history"), history);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

// Reads a whole regular file without following a link out of the folder and
// without blocking on a FIFO someone placed there. Empty `reason` on success.
QByteArray readRegularFile(const QString& path, QString* reason, RecordStore::Problem::Kind* kind)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        const int e = errno;
        *kind = e == ELOOP ? RecordStore::Problem::Foreign : RecordStore::Problem::Damaged;
        *reason = e == ELOOP ? QStringLiteral("a symbolic link, not followed")
                             : QStringLiteral("cannot be opened: %1").arg(errnoText(e));
        return QByteArray();
    }
    QByteArray data;
    struct stat st = {};
    if (::fstat(fd, &st) != 0) {
        *kind = RecordStore::Problem::Damaged;
        *reason = QStringLiteral("cannot be examined: %1").arg(errnoText(errno));
    } else if (!S_ISREG(st.st_mode)) {
        *kind = RecordStore::Problem::Foreign;
        *reason = QStringLiteral("not a regular file");
    } else if (st.st_size > RecordStore::MaxFileBytes) {
        *kind = RecordStore::Problem::Inconsistent;
        *reason = QStringLiteral("larger than %1 bytes, not read").arg(RecordStore::MaxFileBytes);
    } else {
        data.resize(int(st.st_size));
        qint64 done = 0;
        while (done < data.size()) {
            const ssize_t n = ::read(fd, data.data() + done, size_t(data.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                *kind = RecordStore::Problem::Damaged;
                *reason = n < 0 ? QStringLiteral("cannot be read: %1").arg(errnoText(errno))
                                : QStringLiteral("shorter than its size");
                break;
            }
            done += n;
        }
    }
    ::close(fd);
    return reason->isEmpty() ? data : QByteArray();
}

} // namespace

RecordStore::RecordStore(const QString& dataFolder) : m_folder(QDir::cleanPath(dataFolder)) {}

RecordStore::~RecordStore()
{
    close();
}

QString RecordStore::path(const QString& fileName) const
{
    return m_folder + QLatin1Char('/') + fileName;
}

bool RecordStore::isValidRecordId(const QString& recordId)
{
    return recordNumber(recordId) > 0;
}

QString RecordStore::recordIdForNumber(int number)
{
    return QStringLiteral("REC-%1").arg(number, 4, 10, QLatin1Char('0'));
}

int RecordStore::recordNumber(const QString& recordId)
{
    static const QRegularExpression re(QStringLiteral("\\AREC-([0-9]{4,10})\\z"));
    const QRegularExpressionMatch m = re.match(recordId);
    if (!m.hasMatch())
        return 0;
    bool ok = false;
    const qlonglong n = m.captured(1).toLongLong(&ok);
    // Only the manager's own spelling: "REC-00007" would name a second file
    // for record 7.
    if (!ok || n < 1 || n > INT_MAX || recordIdForNumber(int(n)) != recordId)
        return 0;
    return int(n);
}

bool RecordStore::isValidDeviceId(const QString& deviceId)
{
    static const QRegularExpression re(QStringLiteral("\\A[A-Za-z0-9][A-Za-z0-9_-]*\\z"));
    return deviceId.size() <= MaxDeviceIdLength && re.match(deviceId).hasMatch();
}

bool RecordStore::open(Contents* contents, QString* error)
{
    close();
    Contents found;
    if (!QDir().mkpath(m_folder)) {
        setError(error, QStringLiteral("the data folder %1 cannot be created").arg(m_folder));
        return false;
    }
    m_lock.reset(new QLockFile(path(kLockFile)));
    if (!m_lock->tryLock(0)) {
        qint64 pid = 0;
        QString host, app;
        const bool known = m_lock->error() == QLockFile::LockFailedError && m_lock->getLockInfo(&pid, &host, &app);
        setError(error, known ? QStringLiteral("the data folder %1 is in use by process %2 on %3").arg(m_folder).arg(pid).arg(host)
                              : QStringLiteral("the data folder %1 cannot be locked").arg(m_folder));
        m_lock.reset();
        return false;
    }

    m_keptFiles.clear();
    int highest = 0;
    int counter = 1;
    const QStringList names = QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (name == kLockFile || name.startsWith(kLockFile + QLatin1Char('.')))
            continue;
        const QRegularExpressionMatch temp = tempFilePattern().match(name);
        if (temp.hasMatch()) {
            // The number of an interrupted first save is spent as well.
            highest = std::max(highest, recordNumber(temp.captured(1).chopped(5)));
            found.problems.append({Problem::Leftover, name, QStringLiteral("temporary file of an interrupted write, ignored")});
            continue;
        }
        if (name == kCountersFile) {
            const int before = found.problems.size();
            readCountersFile(&found, &counter);
            if (found.problems.size() != before)
                m_keptFiles.insert(name);
            continue;
        }
        const QRegularExpressionMatch m = recordFilePattern().match(name);
        if (!m.hasMatch() || !isValidRecordId(m.captured(1))) {
            found.problems.append({Problem::Foreign, name, QStringLiteral("not a file of this store")});
            continue;
        }
        highest = std::max(highest, recordNumber(m.captured(1)));
        const int before = found.problems.size();
        readRecordFile(name, &found);
        if (found.problems.size() != before)
            m_keptFiles.insert(name);
    }
    found.nextRecordNumber = highest == INT_MAX ? INT_MAX : std::max(counter, highest + 1);
    m_open = true;
    if (contents)
        *contents = std::move(found);
    return true;
}

void RecordStore::close()
{
    m_open = false;
    m_keptFiles.clear();
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
}

void RecordStore::readRecordFile(const QString& fileName, Contents* contents)
{
    Problem::Kind kind = Problem::Damaged;
    QString reason;
    const QByteArray data = readRegularFile(path(fileName), &reason, &kind);
    if (!reason.isEmpty()) {
        contents->problems.append({kind, fileName, reason});
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        const QString why = parseError.error != QJsonParseError::NoError
                                ? QStringLiteral("%1 at byte %2").arg(parseError.errorString()).arg(parseError.offset)
                                : QStringLiteral("not a JSON object");
        contents->problems.append({Problem::Damaged, fileName, QStringLiteral("does not parse: %1").arg(why)});
        return;
    }
    const QJsonObject o = doc.object();
    if (o.value(QStringLiteral("format")).toString() != kRecordFormat) {
        contents->problems.append({Problem::Foreign, fileName, QStringLiteral("not a record file (format marker missing or different)")});
        return;
    }
    const QJsonValue version = o.value(QStringLiteral("version"));
    if (version.toDouble() != kVersion) {
        contents->problems.append({Problem::Foreign, fileName,
                                   QStringLiteral("record file version %1; this build reads version %2")
                                       .arg(version.isUndefined() ? QStringLiteral("(none)") : version.toVariant().toString())
                                       .arg(kVersion)});
        return;
    }

    Reader in(o);
    VOREX_RecordData r;
    const QString expectedId = fileName.chopped(5);
    const QString recordId = in.text(QStringLiteral("recordId"), 64);
    if (in.ok() && recordId != expectedId)
        in.fail(QStringLiteral("holds record \"%1\", not the one of its name").arg(recordId));
    const QString deviceId = in.text(QStringLiteral("deviceId"), MaxDeviceIdLength);
    if (in.ok() && !isValidDeviceId(deviceId))
        in.fail(QStringLiteral("device ID \"%1\" is not a valid device ID").arg(deviceId));
    r.SetRecordID(recordId);
    r.SetDeviceID(deviceId);
    r.SetRecordName(in.text(QStringLiteral("name"), MaxNameLength));
    r.SetRecordStatus(in.integer(QStringLiteral("status"), INT_MIN, INT_MAX));
    r.SetDataFormat(in.integer(QStringLiteral("dataFormat"), INT_MIN, INT_MAX));
    r.SetDataRate(VOREX_RecordData::DataRate(in.integer(QStringLiteral("dataRate"), 0, VOREX_RecordData::DataRateCount - 1)));
    r.SetStartTime(in.number(QStringLiteral("startTime")));
    r.SetStopTime(in.number(QStringLiteral("stopTime")));
    r.SetStartPosition(in.number(QStringLiteral("startPosition")));
    r.SetStopPosition(in.number(QStringLiteral("stopPosition")));
    r.SetRecordSize(in.number(QStringLiteral("size")));

    QVector<IndexEntry> index;
    const QJsonArray indexList = in.array(QStringLiteral("index"));
    for (const QJsonValue& v : indexList) {
        const QJsonObject e = v.toObject();
        index.append(IndexEntry(in.numberOf(e.value(QStringLiteral("time")), QStringLiteral("index time")),
                                in.numberOf(e.value(QStringLiteral("offset")), QStringLiteral("index offset"))));
    }
    QVector<BookmarkEntry> bookmarks;
    const QJsonArray bookmarksList = in.array(QStringLiteral("bookmarks"));
    for (const QJsonValue& v : bookmarksList) {
        const QJsonObject e = v.toObject();
        bookmarks.append(BookmarkEntry(in.numberOf(e.value(QStringLiteral("time")), QStringLiteral("bookmark time")),
                                       in.textOf(e.value(QStringLiteral("text")), QStringLiteral("bookmark text"), MaxTextLength)));
    }
    QVector<HistoryEntry> history;
    const QJsonArray historyList = in.array(QStringLiteral("history"));
    for (const QJsonValue& v : historyList) {
        const QJsonObject e = v.toObject();
        history.append(HistoryEntry(in.numberOf(e.value(QStringLiteral("time")), QStringLiteral("history time")),
                                    in.textOf(e.value(QStringLiteral("text")), QStringLiteral("history text"), MaxTextLength)));
    }
    if (!in.ok()) {
        contents->problems.append({Problem::Inconsistent, fileName, in.reason()});
        return;
    }
    r.SetIndexEntry(index);
    r.SetBookmarkEntry(bookmarks);
    r.SetHistory(history);
    // Files are read in name order; keep each device's list in record order
    // although "REC-10000" sorts before "REC-9999" by name.
    QVector<VOREX_RecordData>& list = contents->recordsByDevice[deviceId];
    const int number = recordNumber(recordId);
    auto at = std::upper_bound(list.begin(), list.end(), number,
                               [](int n, const VOREX_RecordData& x) { return n < recordNumber(x.GetRecordID()); });
    list.insert(at, r);
}

void RecordStore::readCountersFile(Contents* contents, int* counter)
{
    Problem::Kind kind = Problem::Damaged;
    QString reason;
    const QByteArray data = readRegularFile(path(kCountersFile), &reason, &kind);
    if (!reason.isEmpty()) {
        contents->problems.append({kind, kCountersFile, reason});
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        contents->problems.append({Problem::Damaged, kCountersFile, QStringLiteral("does not parse")});
        return;
    }
    const QJsonObject o = doc.object();
    if (o.value(QStringLiteral("format")).toString() != kCountersFormat || o.value(QStringLiteral("version")).toDouble() != kVersion) {
        contents->problems.append({Problem::Foreign, kCountersFile, QStringLiteral("format marker or version is not this build's")});
        return;
    }
    Reader in(o);
    const int next = in.integer(QStringLiteral("nextRecordNumber"), 1, INT_MAX);
    if (!in.ok()) {
        contents->problems.append({Problem::Inconsistent, kCountersFile, in.reason()});
        return;
    }
    *counter = next;
}

bool RecordStore::checkWritable(const QString& fileName, QString* error) const
{
    if (!m_open) {
        setError(error, QStringLiteral("the record store is not open"));
        return false;
    }
    if (m_keptFiles.contains(fileName)) {
        setError(error, QStringLiteral("%1 in %2 could not be read and is kept for inspection; it is not replaced")
                            .arg(fileName, m_folder));
        return false;
    }
    return true;
}

bool RecordStore::saveRecord(const QString& deviceId, const VOREX_RecordData& record, QString* error)
{
    const QString recordId = record.GetRecordID();
    if (!isValidRecordId(recordId)) {
        setError(error, QStringLiteral("record ID \"%1\" is not one the manager hands out").arg(recordId.left(64)));
        return false;
    }
    if (!isValidDeviceId(deviceId)) {
        setError(error, QStringLiteral("device ID \"%1\" is not a valid device ID").arg(deviceId.left(64)));
        return false;
    }
    if (int(record.GetDataRate()) >= VOREX_RecordData::DataRateCount) {
        setError(error, QStringLiteral("data rate %1 is not one of the %2 classes").arg(int(record.GetDataRate())).arg(VOREX_RecordData::DataRateCount));
        return false;
    }
    const QString tooLong = checkTexts(record);
    if (!tooLong.isEmpty()) {
        setError(error, QStringLiteral("record %1 not saved: %2").arg(recordId, tooLong));
        return false;
    }
    const QString fileName = recordId + QStringLiteral(".json");
    if (!checkWritable(fileName, error))
        return false;
    const QByteArray data = recordToJson(deviceId, record);
    if (data.size() > MaxFileBytes) {
        setError(error, QStringLiteral("record %1 not saved: it would take more than %2 bytes").arg(recordId).arg(MaxFileBytes));
        return false;
    }
    return writeFile(fileName, data, error);
}

bool RecordStore::removeRecord(const QString& recordId, QString* error)
{
    if (!isValidRecordId(recordId)) {
        setError(error, QStringLiteral("record ID \"%1\" is not one the manager hands out").arg(recordId.left(64)));
        return false;
    }
    const QString fileName = recordId + QStringLiteral(".json");
    if (!checkWritable(fileName, error))
        return false;
    if (::unlink(QFile::encodeName(path(fileName)).constData()) != 0) {
        const int e = errno;
        if (e == ENOENT)
            return true;
        setError(error, QStringLiteral("record %1 cannot be removed from %2: %3").arg(recordId, m_folder, errnoText(e)));
        return false;
    }
    return syncFolder(error);
}

bool RecordStore::saveNextRecordNumber(int next, QString* error)
{
    if (next < 1) {
        setError(error, QStringLiteral("the next record number must be at least 1, not %1").arg(next));
        return false;
    }
    if (!checkWritable(kCountersFile, error))
        return false;
    QJsonObject o;
    o.insert(QStringLiteral("format"), kCountersFormat);
    o.insert(QStringLiteral("version"), kVersion);
    o.insert(QStringLiteral("nextRecordNumber"), next);
    return writeFile(kCountersFile, QJsonDocument(o).toJson(QJsonDocument::Indented), error);
}

int RecordStore::removeLeftovers()
{
    if (!m_open)
        return 0;
    int removed = 0;
    const QStringList names = QDir(m_folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (tempFilePattern().match(name).hasMatch() && ::unlink(QFile::encodeName(path(name)).constData()) == 0)
            ++removed;
    }
    if (removed > 0)
        syncFolder(nullptr);
    return removed;
}

bool RecordStore::writeFile(const QString& fileName, const QByteArray& data, QString* error)
{
    const QString tempName = QStringLiteral("%1%2-%3-%4").arg(kTempPrefix, fileName).arg(QCoreApplication::applicationPid()).arg(++m_tempSerial);
    const QByteArray tempPath = QFile::encodeName(path(tempName));
    const QByteArray targetPath = QFile::encodeName(path(fileName));
    auto fail = [&](const QString& step, int e) {
        ::unlink(tempPath.constData());
        setError(error, QStringLiteral("%1 not saved in %2: %3: %4").arg(fileName, m_folder, step, errnoText(e)));
        return false;
    };

    const int fd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        setError(error, QStringLiteral("%1 not saved in %2: the temporary file cannot be created: %3")
                            .arg(fileName, m_folder, errnoText(errno)));
        return false;
    }
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int e = n < 0 ? errno : EIO;
            ::close(fd);
            return fail(QStringLiteral("writing failed"), e);
        }
        done += n;
    }
    if (::fsync(fd) != 0) {
        const int e = errno;
        ::close(fd);
        return fail(QStringLiteral("flushing to disk failed"), e);
    }
    if (::close(fd) != 0)
        return fail(QStringLiteral("closing failed"), errno);
    if (::rename(tempPath.constData(), targetPath.constData()) != 0)
        return fail(QStringLiteral("replacing the file failed"), errno);
    return syncFolder(error);
}

bool RecordStore::syncFolder(QString* error) const
{
    const int fd = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int e = fd < 0 ? errno : 0;
    if (fd >= 0) {
        if (::fsync(fd) != 0)
            e = errno;
        ::close(fd);
    }
    if (e != 0) {
        // The new file is in place, but a power cut could still undo it.
        setError(error, QStringLiteral("the change in %1 is made but not confirmed on disk: %2").arg(m_folder, errnoText(e)));
        return false;
    }
    return true;
}

} // namespace VorexSim
