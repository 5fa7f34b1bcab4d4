// The recorder manager's record store: what comes back after a restart, what
// is refused, what is left alone, and what a kill -9 at any moment leaves.
#include "recordstore.h"
#include "testsupport.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using VorexSim::RecordStore;
using VOREX_XML::BookmarkEntry;
using VOREX_XML::HistoryEntry;
using VOREX_XML::IndexEntry;
using VOREX_XML::VOREX_RecordData;
using Problem = RecordStore::Problem;

namespace {

const char* const kWriterArg = "--store-writer";

VOREX_RecordData fullRecord(const QString& id, const QString& name, int lines = 2)
{
    VOREX_RecordData r(id, name);
    r.SetRecordStatus(3);
    r.SetDataFormat(7);
    r.SetDataRate(VOREX_RecordData::eDataRate_15);
    r.SetStartTime(Q_UINT64_C(9007199254740993)); // 2^53 + 1: not a double
    r.SetStopTime(Q_UINT64_C(18446744073709551615));
    r.SetStartPosition(1);
    r.SetStopPosition(Q_UINT64_C(1) << 40);
    r.SetRecordSize(Q_UINT64_C(12345678901234));
    r.SetIndexEntry({IndexEntry(5, 0), IndexEntry(Q_UINT64_C(18446744073709551614), 77)});
    QVector<BookmarkEntry> bookmarks;
    QVector<HistoryEntry> history;
    for (int i = 0; i < lines; ++i) {
        bookmarks.append(BookmarkEntry(quint64(100 + i), QStringLiteral("%1 #%2").arg(name).arg(i)));
        history.append(HistoryEntry(quint64(200 + i), QStringLiteral("%1 line %2 ").arg(name).arg(i).repeated(8)));
    }
    r.SetBookmarkEntry(bookmarks);
    r.SetHistory(history);
    return r;
}

// Every field, texts percent-encoded so that a NUL or a control character in
// a difference stays readable.
QString describe(const VOREX_RecordData& r)
{
    auto text = [](const QString& s) { return QString::fromLatin1(s.toUtf8().toPercentEncoding()); };
    QStringList out{r.GetRecordID(), r.GetDeviceID(), text(r.GetRecordName()),
                    QStringLiteral("%1 %2 %3").arg(r.GetRecordStatus()).arg(r.GetDataFormat()).arg(int(r.GetDataRate())),
                    QStringLiteral("%1 %2 %3 %4 %5").arg(r.GetStartTime()).arg(r.GetStopTime()).arg(r.GetStartPosition()).arg(r.GetStopPosition()).arg(r.GetRecordSize())};
    for (const IndexEntry& e : r.GetIndexEntry())
        out << QStringLiteral("index %1 %2").arg(e.GetTimestamp()).arg(e.GetRecordOffset());
    for (const BookmarkEntry& b : r.GetBookmarkEntry())
        out << QStringLiteral("bookmark %1 %2").arg(b.GetTimestamp()).arg(text(b.GetBookmark()));
    for (const HistoryEntry& h : r.GetHistory())
        out << QStringLiteral("history %1 %2").arg(h.GetTimestamp()).arg(text(h.GetText()));
    return out.join(QLatin1Char('\n'));
}

VOREX_RecordData withDevice(VOREX_RecordData r, const QString& deviceId)
{
    r.SetDeviceID(deviceId);
    return r;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The crash test's records: the content follows from (ID, generation), so
// that a loaded record can be checked to be one complete version.
VOREX_RecordData crashRecord(const QString& id, quint64 generation)
{
    return fullRecord(id, QStringLiteral("%1 gen %2").arg(id).arg(generation), 40);
}

quint64 generationOf(const VOREX_RecordData& r)
{
    return r.GetRecordName().section(QLatin1Char(' '), -1).toULongLong();
}

// Child process of crashSafety: saves new records and replaces old ones until
// it is killed, printing each save only once the store confirmed it.
int runWriter(const QString& folder)
{
    RecordStore store(folder);
    RecordStore::Contents contents;
    QString error;
    if (!store.open(&contents, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    QStringList ids;
    quint64 generation = 0;
    for (const auto& records : contents.recordsByDevice) {
        for (const VOREX_RecordData& r : records) {
            ids << r.GetRecordID();
            generation = std::max(generation, generationOf(r));
        }
    }
    int next = contents.nextRecordNumber;
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        ++generation;
        QString id;
        if (ids.size() < 3 || (ids.size() < 40 && generation % 2 == 0)) {
            id = RecordStore::recordIdForNumber(next++);
            if (!store.saveNextRecordNumber(next, &error))
                break;
            std::printf("next %d\n", next);
            ids << id;
        } else {
            id = ids[int(generation % quint64(ids.size()))];
        }
        if (!store.saveRecord(QStringLiteral("Dev%1").arg(generation % 3), crashRecord(id, generation), &error))
            break;
        std::printf("saved %s %llu\n", qPrintable(id), static_cast<unsigned long long>(generation));
        std::fflush(stdout);
    }
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
}

} // namespace

class TestRecordStore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    int m_case = 0;
    QString m_parent; // a fresh folder per test case, holding only...
    QString m_folder; // ...the store's folder

    RecordStore::Contents reopen()
    {
        RecordStore store(m_folder);
        RecordStore::Contents contents;
        QString error;
        if (!store.open(&contents, &error))
            qWarning("open failed: %s", qPrintable(error));
        return contents;
    }

private slots:
    void initTestCase() { vrxtest::failOnQtWarnings(); }
    void init()
    {
        QVERIFY(m_tmp.isValid());
        m_parent = m_tmp.filePath(QStringLiteral("case-%1").arg(++m_case));
        m_folder = m_parent + QStringLiteral("/data");
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QString control;
        for (ushort c = 0; c < 0x20; ++c)
            control += QChar(c);
        control += QChar(0x7f);
        QTest::newRow("plain") << QStringLiteral("Harbour traffic");
        QTest::newRow("empty") << QString();
        QTest::newRow("path-like") << QStringLiteral("../../etc/passwd/..\\..//REC-0002.json");
        QTest::newRow("NUL and control") << QStringLiteral("a%1b").arg(control);
        QTest::newRow("emoji, bidi, lone surrogates")
            << QString::fromUtf8("\xF0\x9F\x93\xBB \xE2\x80\xAE") + QChar(0xD800) + QChar(0xDFFF) + QChar(0xFFFF) + QStringLiteral("\"'{}");
        QTest::newRow("name at its limit") << QStringLiteral("x/").repeated(RecordStore::MaxNameLength / 2);
    }
    void roundTrip()
    {
        QFETCH(QString, name);
        const VOREX_RecordData record = fullRecord(QStringLiteral("REC-0001"), name);
        VOREX_RecordData other = fullRecord(QStringLiteral("REC-10000"), QStringLiteral("other"), 0);
        {
            RecordStore store(m_folder);
            QString error;
            QVERIFY(store.open(nullptr, &error));
            QVERIFY2(store.saveRecord(QStringLiteral("Dev1"), record, &error), qPrintable(error));
            QVERIFY2(store.saveRecord(QStringLiteral("Dev1"), other, &error), qPrintable(error));
            QVERIFY2(store.saveRecord(QStringLiteral("VDev"), fullRecord(QStringLiteral("REC-0002"), name), &error), qPrintable(error));
        }
        const RecordStore::Contents contents = reopen();
        QVERIFY(contents.problems.isEmpty());
        QCOMPARE(contents.recordsByDevice.keys(), (QStringList{QStringLiteral("Dev1"), QStringLiteral("VDev")}));
        const auto& dev1 = contents.recordsByDevice.value(QStringLiteral("Dev1"));
        QCOMPARE(dev1.size(), 2);
        QCOMPARE(describe(dev1[0]), describe(withDevice(record, QStringLiteral("Dev1"))));
        QCOMPARE(describe(dev1[1]), describe(withDevice(other, QStringLiteral("Dev1"))));
        QCOMPARE(contents.nextRecordNumber, 10001);
        // Nothing besides the records and the lock, and nothing beside the folder.
        QCOMPARE(entries(m_folder), (QStringList{QStringLiteral("REC-0001.json"), QStringLiteral("REC-0002.json"),
                                                 QStringLiteral("REC-10000.json")}));
        QCOMPARE(entries(m_parent), QStringList{QStringLiteral("data")});
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("deviceId");
        QTest::addColumn<QString>("recordId");
        QTest::addColumn<int>("field"); // 0 name, 1 bookmark, 2 history
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        const QString dev = QStringLiteral("Dev1"), rec = QStringLiteral("REC-0001");
        const QString notId = QStringLiteral("not one the manager hands out");
        const QString notDev = QStringLiteral("not a valid device ID");
        QTest::newRow("name over limit") << dev << rec << 0 << QString(RecordStore::MaxNameLength + 1, QLatin1Char('n')) << QStringLiteral("longer than 4096");
        QTest::newRow("100 kB path name") << dev << rec << 0 << QStringLiteral("../").repeated(34000) << QStringLiteral("longer than 4096");
        QTest::newRow("bookmark over limit") << dev << rec << 1 << QString(RecordStore::MaxTextLength + 1, QChar(0)) << QStringLiteral("longer than 65536");
        QTest::newRow("100 kB comment") << dev << rec << 2 << QStringLiteral("/..\n").repeated(25600) << QStringLiteral("longer than 65536");
        for (const char* id : {"", "REC-1", "REC-00001", "REC-0000", "rec-0001", "../REC-0001", "REC-0001/../x", "REC-99999999999", " REC-0001"})
            QTest::newRow(qPrintable(QStringLiteral("record ID '%1'").arg(QLatin1String(id)))) << dev << QString::fromLatin1(id) << 0 << QString() << notId;
        for (const char* id : {"", "../Dev1", "Dev/1", "Dev 1", ".hidden", "-x"})
            QTest::newRow(qPrintable(QStringLiteral("device ID '%1'").arg(QLatin1String(id)))) << QString::fromLatin1(id) << rec << 0 << QString() << notDev;
        QTest::newRow("device ID over limit") << QString(RecordStore::MaxDeviceIdLength + 1, QLatin1Char('D')) << rec << 0 << QString() << notDev;
        QTest::newRow("device ID with NUL") << QStringLiteral("Dev1") + QChar(0) << rec << 0 << QString() << notDev;
    }
    void refusals()
    {
        QFETCH(QString, deviceId);
        QFETCH(QString, recordId);
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(QString, error);
        const VOREX_RecordData old = fullRecord(QStringLiteral("REC-0001"), QStringLiteral("old"));
        RecordStore store(m_folder);
        QString message;
        QVERIFY(store.open(nullptr, &message));
        QVERIFY(store.saveRecord(QStringLiteral("Dev1"), old, &message));
        const QStringList before = entries(m_folder);
        const QStringList outside = entries(m_parent);
        const QByteArray bytes = fileBytes(m_folder + QStringLiteral("/REC-0001.json"));

        VOREX_RecordData refused = fullRecord(recordId, QStringLiteral("new"));
        if (field == 0)
            refused.SetRecordName(text);
        else if (field == 1)
            refused.SetBookmarkEntry({BookmarkEntry(1, text)});
        else
            refused.SetHistory({HistoryEntry(1, text)});
        QVERIFY(!store.saveRecord(deviceId, refused, &message));
        QVERIFY2(message.contains(error), qPrintable(message));
        QVERIFY(message.size() < 300);
        if (!RecordStore::isValidRecordId(recordId))
            QVERIFY(!store.removeRecord(recordId, &message));
        QCOMPARE(entries(m_folder), before);
        QCOMPARE(entries(m_parent), outside);
        QCOMPARE(fileBytes(m_folder + QStringLiteral("/REC-0001.json")), bytes);
    }

    void replaceRemoveAndNumbers()
    {
        RecordStore store(m_folder);
        QString error;
        RecordStore::Contents contents;
        QVERIFY(store.open(&contents, &error));
        QCOMPARE(contents.nextRecordNumber, 1);
        for (int n = 1; n <= 3; ++n)
            QVERIFY(store.saveRecord(QStringLiteral("Dev1"), fullRecord(RecordStore::recordIdForNumber(n), QStringLiteral("first")), &error));
        QVERIFY(store.saveNextRecordNumber(4, &error));
        const VOREX_RecordData renamed = fullRecord(QStringLiteral("REC-0002"), QStringLiteral("renamed"));
        QVERIFY(store.saveRecord(QStringLiteral("Dev2"), renamed, &error)); // moves to another device
        QVERIFY(store.removeRecord(QStringLiteral("REC-0003"), &error));
        QVERIFY(store.removeRecord(QStringLiteral("REC-0003"), &error)); // already gone: fine
        QVERIFY(!store.saveNextRecordNumber(0, &error));

        // A second store cannot take the folder while the first holds it.
        RecordStore second(m_folder);
        QVERIFY(!second.open(&contents, &error));
        QVERIFY2(error.contains(QStringLiteral("in use")), qPrintable(error));
        store.close();
        QVERIFY(second.open(&contents, &error));
        second.close();

        contents = reopen();
        QVERIFY(contents.problems.isEmpty());
        QCOMPARE(contents.recordsByDevice.value(QStringLiteral("Dev1")).size(), 1);
        QCOMPARE(describe(contents.recordsByDevice.value(QStringLiteral("Dev2")).value(0)), describe(withDevice(renamed, QStringLiteral("Dev2"))));
        QCOMPARE(contents.nextRecordNumber, 4); // REC-0003 is gone, its number stays spent
    }

    void unreadableFilesAreReportedAndKept_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content"); // "->target": a symbolic link
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("minNext"); // the next record number is at least this

        QJsonObject good = QJsonDocument::fromJson(fileBytesOfGoodRecord()).object();
        auto with = [&](const char* key, const QJsonValue& value) {
            QJsonObject o = good;
            o.insert(QLatin1String(key), value);
            return QJsonDocument(o).toJson();
        };
        const QByteArray whole = QJsonDocument(good).toJson();
        QTest::newRow("cut short") << "REC-0002.json" << whole.left(whole.size() / 2) << int(Problem::Damaged) << 3;
        QTest::newRow("not text") << "REC-0002.json" << QByteArray("\xff\xfe\0\x01", 4) << int(Problem::Damaged) << 3;
        QTest::newRow("empty") << "REC-0002.json" << QByteArray() << int(Problem::Damaged) << 3;
        QTest::newRow("other name") << "notes.txt" << QByteArray("hello") << int(Problem::Foreign) << 2;
        QTest::newRow("non-canonical ID") << "REC-00002.json" << whole << int(Problem::Foreign) << 2;
        QTest::newRow("other JSON") << "REC-0002.json" << QByteArray("{\"hello\": 1}") << int(Problem::Foreign) << 3;
        QTest::newRow("newer version") << "REC-0002.json" << with("version", 2) << int(Problem::Foreign) << 3;
        QTest::newRow("mismatched ID") << "REC-0002.json" << with("recordId", QStringLiteral("REC-0003")) << int(Problem::Inconsistent) << 3;
        QTest::newRow("bad data rate") << "REC-0002.json" << with("dataRate", 16) << int(Problem::Inconsistent) << 3;
        QTest::newRow("bad device") << "REC-0002.json" << with("deviceId", QStringLiteral("../Dev1")) << int(Problem::Inconsistent) << 3;
        QTest::newRow("time as double") << "REC-0002.json" << with("startTime", 5.0) << int(Problem::Inconsistent) << 3;
        QTest::newRow("name over limit") << "REC-0002.json" << with("name", QString(RecordStore::MaxNameLength + 1, QLatin1Char('n'))) << int(Problem::Inconsistent) << 3;
        QTest::newRow("stray temporary") << ".tmp-REC-0007.json-123-1" << whole.left(100) << int(Problem::Leftover) << 8;
        QTest::newRow("link out of the folder") << "REC-0002.json" << QByteArray("->/etc/hostname") << int(Problem::Foreign) << 3;
        QTest::newRow("folder") << "REC-0002.json" << QByteArray("->") << int(Problem::Foreign) << 3;
        QTest::newRow("damaged counters") << "manager.json" << QByteArray("{\"format\": \"vrx-manager-st") << int(Problem::Damaged) << 2;
    }
    void unreadableFilesAreReportedAndKept()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(int, kind);
        QFETCH(int, minNext);
        const VOREX_RecordData good = fullRecord(QStringLiteral("REC-0001"), QStringLiteral("good"));
        RecordStore store(m_folder);
        QString error;
        QVERIFY(store.open(nullptr, &error));
        QVERIFY(store.saveRecord(QStringLiteral("Dev1"), good, &error));
        store.close();

        const QString path = m_folder + QLatin1Char('/') + fileName;
        if (content == "->")
            QVERIFY(QDir().mkpath(path));
        else if (content.startsWith("->"))
            QVERIFY(QFile::link(QString::fromUtf8(content.mid(2)), path));
        else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
        }
        const QByteArray before = fileBytes(path);

        RecordStore::Contents contents;
        QVERIFY(store.open(&contents, &error));
        QCOMPARE(contents.problems.size(), 1);
        QCOMPARE(contents.problems[0].fileName, fileName);
        QCOMPARE(int(contents.problems[0].kind), kind);
        QVERIFY(!contents.problems[0].reason.isEmpty());
        QCOMPARE(contents.recordsByDevice.size(), 1);
        QCOMPARE(describe(contents.recordsByDevice.value(QStringLiteral("Dev1")).value(0)), describe(withDevice(good, QStringLiteral("Dev1"))));
        QVERIFY(contents.nextRecordNumber >= minNext);

        // A reported file under a record's own name is not replaced either.
        if (fileName == QLatin1String("REC-0002.json")) {
            QVERIFY(!store.saveRecord(QStringLiteral("Dev1"), fullRecord(QStringLiteral("REC-0002"), QStringLiteral("new")), &error));
            QVERIFY(!store.removeRecord(QStringLiteral("REC-0002"), &error));
        } else if (fileName == QLatin1String("manager.json")) {
            QVERIFY(!store.saveNextRecordNumber(9, &error));
        }
        QVERIFY(QFileInfo(path).exists() || QFileInfo(path).isSymLink());
        QCOMPARE(fileBytes(path), before);

        // Only the store's own temporaries are cleaned away on request.
        QCOMPARE(store.removeLeftovers(), kind == Problem::Leftover ? 1 : 0);
        QCOMPARE(QFileInfo(path).exists() || QFileInfo(path).isSymLink(), kind != Problem::Leftover);
    }

    void failedWriteLeavesNoTemporary()
    {
        RecordStore store(m_folder);
        QString error;
        QVERIFY(store.open(nullptr, &error));
        // A folder appears under the record's name after the store was opened.
        QVERIFY(QDir().mkpath(m_folder + QStringLiteral("/REC-0002.json/inside")));
        QVERIFY(!store.saveRecord(QStringLiteral("Dev1"), fullRecord(QStringLiteral("REC-0002"), QStringLiteral("x")), &error));
        QVERIFY2(error.contains(QStringLiteral("REC-0002.json")), qPrintable(error));
        QCOMPARE(entries(m_folder), (QStringList{QStringLiteral("REC-0002.json"), QStringLiteral("manager.lock")}));
        QVERIFY(QFileInfo::exists(m_folder + QStringLiteral("/REC-0002.json/inside")));
    }

    void crashSafety()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        QMap<QString, quint64> confirmed; // record ID -> newest confirmed generation
        int confirmedNext = 1;
        int saves = 0;
        int leftovers = 0; // writes a kill interrupted
        for (int round = 0; round < 12; ++round) {
            const QString context = QStringLiteral("seed %1, round %2").arg(seed).arg(round);
            QProcess writer;
            writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writer.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kWriterArg), m_folder});
            QVERIFY2(writer.waitForReadyRead(5000), qPrintable(context));
            QTest::qWait(int(random.bounded(10, 300)));
            writer.kill(); // SIGKILL
            QVERIFY(writer.waitForFinished(5000));
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
            const QList<QByteArray> lines = writer.readAllStandardOutput().split('\n');
            for (int i = 0; i + 1 < lines.size(); ++i) { // the last piece may be a cut line
                const QList<QByteArray> words = lines[i].split(' ');
                if (words.value(0) == "saved") {
                    confirmed[QString::fromLatin1(words.value(1))] = words.value(2).toULongLong();
                    ++saves;
                } else if (words.value(0) == "next") {
                    confirmedNext = words.value(1).toInt();
                }
            }

            const RecordStore::Contents contents = reopen();
            leftovers = contents.problems.size();
            for (const Problem& p : contents.problems)
                QVERIFY2(p.kind == Problem::Leftover, qPrintable(QStringLiteral("%1: %2: %3").arg(context, p.fileName, p.reason)));
            QMap<QString, VOREX_RecordData> loaded;
            for (const auto& records : contents.recordsByDevice) {
                for (const VOREX_RecordData& r : records) {
                    QVERIFY2(!loaded.contains(r.GetRecordID()), qPrintable(context));
                    loaded.insert(r.GetRecordID(), r);
                    QVERIFY(contents.nextRecordNumber > RecordStore::recordNumber(r.GetRecordID()));
                }
            }
            for (auto it = confirmed.cbegin(); it != confirmed.cend(); ++it) {
                QVERIFY2(loaded.contains(it.key()), qPrintable(QStringLiteral("%1: %2 lost").arg(context, it.key())));
                QVERIFY2(generationOf(loaded[it.key()]) >= it.value(), qPrintable(context));
            }
            for (const VOREX_RecordData& r : loaded) {
                const VOREX_RecordData expected = withDevice(crashRecord(r.GetRecordID(), generationOf(r)), QStringLiteral("Dev%1").arg(generationOf(r) % 3));
                QCOMPARE(describe(r), describe(expected));
            }
            QVERIFY2(contents.nextRecordNumber >= confirmedNext, qPrintable(context));
        }
        QVERIFY2(saves > 12, qPrintable(QStringLiteral("only %1 saves confirmed").arg(saves)));
        qInfo("%d confirmed saves, %d records, %d leftovers seen, seed %u", saves, int(confirmed.size()), leftovers, seed);
    }

private:
    QByteArray fileBytesOfGoodRecord()
    {
        const QString folder = m_tmp.filePath(QStringLiteral("good-record"));
        RecordStore store(folder);
        if (!store.open(nullptr, nullptr) || !store.saveRecord(QStringLiteral("Dev1"), fullRecord(QStringLiteral("REC-0002"), QStringLiteral("x")), nullptr))
            return QByteArray();
        return fileBytes(folder + QStringLiteral("/REC-0002.json"));
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], kWriterArg) == 0) {
        QCoreApplication app(argc, argv);
        return runWriter(QString::fromLocal8Bit(argv[2]));
    }
    QGuiApplication app(argc, argv);
    TestRecordStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordstore.moc"
