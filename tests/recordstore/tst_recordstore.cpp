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

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Every field set, 64-bit values beyond what a double holds.
VOREX_RecordData fullRecord(const QString& id, const QString& name, const QString& device = S("Dev1"), int lines = 2)
{
    VOREX_RecordData r(id, name);
    r.SetDeviceID(device);
    r.SetRecordStatus(3);
    r.SetDataFormat(7);
    r.SetDataRate(VOREX_RecordData::eDataRate_15);
    r.SetStartTime(Q_UINT64_C(9007199254740993));
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

// Every field; texts percent-encoded so that a difference stays readable.
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

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// The crash test's records follow from (ID, generation): a loaded one can be
// checked to be one complete version.
VOREX_RecordData crashRecord(const QString& id, quint64 generation)
{
    return fullRecord(id, QStringLiteral("%1 gen %2").arg(id).arg(generation), QStringLiteral("Dev%1").arg(generation % 3), 40);
}

quint64 generationOf(const VOREX_RecordData& r)
{
    return r.GetRecordName().section(QLatin1Char(' '), -1).toULongLong();
}

// The crash test's child: adds and replaces records until it is killed,
// printing each save once the store has confirmed it.
int runWriter(const QString& folder)
{
    RecordStore store(folder);
    RecordStore::Contents contents;
    QString error;
    QStringList ids;
    quint64 generation = 0;
    if (store.open(&contents, &error)) {
        for (const auto& records : contents.recordsByDevice) {
            for (const VOREX_RecordData& r : records) {
                ids << r.GetRecordID();
                generation = std::max(generation, generationOf(r));
            }
        }
        int next = contents.nextRecordNumber;
        std::printf("ready\n");
        std::fflush(stdout);
        for (bool ok = true; ok;) {
            QString id = ids.value(int(++generation % quint64(std::max(1, int(ids.size())))));
            if (ids.size() < 3 || (ids.size() < 40 && generation % 2 == 0)) {
                id = RecordStore::recordIdForNumber(next++);
                ok = store.saveNextRecordNumber(next, &error);
                std::printf("next %d\n", next);
                ids << id;
            }
            const VOREX_RecordData r = crashRecord(id, generation);
            if ((ok = ok && store.saveRecord(r.GetDeviceID(), r, &error)))
                std::printf("saved %s %llu\n", qPrintable(id), static_cast<unsigned long long>(generation));
            std::fflush(stdout);
        }
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
    bool save(RecordStore& store, const VOREX_RecordData& r)
    {
        QString error;
        const bool ok = store.saveRecord(r.GetDeviceID(), r, &error);
        if (!ok)
            qWarning("save failed: %s", qPrintable(error));
        return ok;
    }

private slots:
    void initTestCase() { vrxtest::failOnQtWarnings(); }
    void init()
    {
        QVERIFY(m_tmp.isValid());
        m_parent = m_tmp.filePath(QStringLiteral("case-%1").arg(++m_case));
        m_folder = m_parent + S("/data");
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QString control;
        for (ushort c = 0; c < 0x20; ++c)
            control += QChar(c);
        QTest::newRow("plain") << S("Harbour traffic");
        QTest::newRow("empty") << QString();
        QTest::newRow("path-like") << S("../../etc/passwd/..\\..//REC-0002.json");
        QTest::newRow("NUL and control") << QStringLiteral("a%1\x7f" "b").arg(control);
        QTest::newRow("emoji, bidi, lone surrogates") << S("\xF0\x9F\x93\xBB \xE2\x80\xAE\"'{}") + QChar(0xD800) + QChar(0xDFFF) + QChar(0xFFFF);
        QTest::newRow("name at its limit") << S("x/").repeated(RecordStore::MaxNameLength / 2);
    }
    void roundTrip()
    {
        QFETCH(QString, name);
        const QVector<VOREX_RecordData> dev1{fullRecord(S("REC-0001"), name), fullRecord(S("REC-10000"), S("other"), S("Dev1"), 0)};
        {
            RecordStore store(m_folder);
            QVERIFY(store.open(nullptr));
            QVERIFY(save(store, dev1[1]) && save(store, dev1[0]) && save(store, fullRecord(S("REC-0002"), name, S("VDev"))));
        }
        const RecordStore::Contents contents = reopen();
        QVERIFY(contents.problems.isEmpty());
        QCOMPARE(contents.recordsByDevice.keys(), (QStringList{S("Dev1"), S("VDev")}));
        QCOMPARE(contents.recordsByDevice[S("Dev1")].size(), 2); // in record order
        for (int i = 0; i < 2; ++i)
            QCOMPARE(describe(contents.recordsByDevice[S("Dev1")][i]), describe(dev1[i]));
        QCOMPARE(contents.nextRecordNumber, 10001);
        QCOMPARE(entries(m_folder), (QStringList{S("REC-0001.json"), S("REC-0002.json"), S("REC-10000.json")}));
        QCOMPARE(entries(m_parent), QStringList{S("data")});
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("deviceId");
        QTest::addColumn<QString>("recordId");
        QTest::addColumn<int>("field"); // the text goes to 0: the name, 1: a bookmark, 2: a history line
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        const QString dev = S("Dev1"), rec = S("REC-0001"), badId = S("not one the manager hands out"), badDev = S("not a valid device ID");
        QTest::newRow("name over limit") << dev << rec << 0 << QString(RecordStore::MaxNameLength + 1, QLatin1Char('n')) << S("longer than 4096");
        QTest::newRow("100 kB path name") << dev << rec << 0 << S("../").repeated(34000) << S("longer than 4096");
        QTest::newRow("bookmark over limit") << dev << rec << 1 << QString(RecordStore::MaxTextLength + 1, QChar(0)) << S("longer than 65536");
        QTest::newRow("100 kB comment") << dev << rec << 2 << S("/..\n").repeated(25600) << S("longer than 65536");
        for (const char* id : {"", "REC-1", "REC-00001", "REC-0000", "rec-0001", "../REC-0001", "REC-0001/../x", "REC-99999999999", " REC-0001"})
            QTest::newRow(qPrintable(S("record ID '%1'").arg(S(id)))) << dev << S(id) << 0 << QString() << badId;
        for (const char* id : {"", "../Dev1", "Dev/1", "Dev 1", ".hidden", "-x"})
            QTest::newRow(qPrintable(S("device ID '%1'").arg(S(id)))) << S(id) << rec << 0 << QString() << badDev;
        QTest::newRow("device ID over limit") << QString(RecordStore::MaxDeviceIdLength + 1, QLatin1Char('D')) << rec << 0 << QString() << badDev;
        QTest::newRow("device ID with NUL") << dev + QChar(0) << rec << 0 << QString() << badDev;
    }
    void refusals()
    {
        QFETCH(QString, deviceId);
        QFETCH(QString, recordId);
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(QString, error);
        RecordStore store(m_folder);
        QVERIFY(store.open(nullptr));
        QVERIFY(save(store, fullRecord(S("REC-0001"), S("old"))));
        const QStringList before = entries(m_folder);
        const QByteArray bytes = fileBytes(m_folder + S("/REC-0001.json"));

        VOREX_RecordData refused = fullRecord(recordId, S("new"));
        if (field == 0)
            refused.SetRecordName(text);
        else if (field == 1)
            refused.SetBookmarkEntry({BookmarkEntry(1, text)});
        else
            refused.SetHistory({HistoryEntry(1, text)});
        QString message;
        QVERIFY(!store.saveRecord(deviceId, refused, &message));
        QVERIFY2(message.contains(error) && message.size() < 300, qPrintable(message));
        if (!RecordStore::isValidRecordId(recordId))
            QVERIFY(!store.removeRecord(recordId));
        QCOMPARE(entries(m_folder), before);
        QCOMPARE(entries(m_parent), QStringList{S("data")});
        QCOMPARE(fileBytes(m_folder + S("/REC-0001.json")), bytes);
    }

    void numbersAreNeverReusedAndTheFolderIsExclusive()
    {
        RecordStore store(m_folder);
        RecordStore::Contents contents;
        QString error;
        QVERIFY(store.open(&contents, &error));
        QCOMPARE(contents.nextRecordNumber, 1);
        for (int n = 1; n <= 3; ++n)
            QVERIFY(save(store, fullRecord(RecordStore::recordIdForNumber(n), S("first"))));
        QVERIFY(store.saveNextRecordNumber(4, &error));
        QVERIFY(!store.saveNextRecordNumber(0, &error));
        const VOREX_RecordData moved = fullRecord(S("REC-0002"), S("renamed"), S("Dev2"));
        QVERIFY(save(store, moved));
        QVERIFY(store.removeRecord(S("REC-0003"), &error));

        RecordStore second(m_folder);
        QVERIFY(!second.open(&contents, &error));
        QVERIFY2(error.contains(S("in use")), qPrintable(error));
        store.close();

        contents = reopen();
        QVERIFY(contents.problems.isEmpty());
        QCOMPARE(contents.recordsByDevice[S("Dev1")].size(), 1);
        QCOMPARE(describe(contents.recordsByDevice[S("Dev2")].value(0)), describe(moved));
        QCOMPARE(contents.nextRecordNumber, 4); // REC-0003 is gone, its number stays spent
    }

    void unreadableFilesAreReportedAndKept_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content"); // "->target": a symbolic link, "->": a folder
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("minNext"); // the next record number is at least this

        QByteArray whole;
        {
            RecordStore scratch(m_tmp.filePath(S("scratch")));
            QVERIFY(scratch.open(nullptr) && save(scratch, fullRecord(S("REC-0002"), S("x"))));
            whole = fileBytes(scratch.dataFolder() + S("/REC-0002.json"));
        }
        auto with = [&](const char* key, const QJsonValue& value) {
            QJsonObject o = QJsonDocument::fromJson(whole).object();
            o.insert(QLatin1String(key), value);
            return QJsonDocument(o).toJson();
        };
        QTest::newRow("cut short") << S("REC-0002.json") << whole.left(whole.size() / 2) << int(Problem::Damaged) << 3;
        QTest::newRow("not text") << S("REC-0002.json") << QByteArray("\xff\xfe\0\x01", 4) << int(Problem::Damaged) << 3;
        QTest::newRow("empty") << S("REC-0002.json") << QByteArray() << int(Problem::Damaged) << 3;
        QTest::newRow("other name") << S("notes.txt") << QByteArray("hello") << int(Problem::Foreign) << 2;
        QTest::newRow("non-canonical ID") << S("REC-00002.json") << whole << int(Problem::Foreign) << 2;
        QTest::newRow("other JSON") << S("REC-0002.json") << QByteArray("{\"hello\": 1}") << int(Problem::Foreign) << 3;
        QTest::newRow("newer version") << S("REC-0002.json") << with("version", 2) << int(Problem::Foreign) << 3;
        QTest::newRow("mismatched ID") << S("REC-0002.json") << with("recordId", S("REC-0003")) << int(Problem::Inconsistent) << 3;
        QTest::newRow("bad data rate") << S("REC-0002.json") << with("dataRate", 16) << int(Problem::Inconsistent) << 3;
        QTest::newRow("bad device") << S("REC-0002.json") << with("deviceId", S("../Dev1")) << int(Problem::Inconsistent) << 3;
        QTest::newRow("time as double") << S("REC-0002.json") << with("startTime", 5.0) << int(Problem::Inconsistent) << 3;
        QTest::newRow("name over limit") << S("REC-0002.json") << with("name", QString(RecordStore::MaxNameLength + 1, QLatin1Char('n'))) << int(Problem::Inconsistent) << 3;
        QTest::newRow("stray temporary") << S(".tmp-REC-0007.json-123-1") << whole.left(100) << int(Problem::Leftover) << 8;
        QTest::newRow("link out of the folder") << S("REC-0002.json") << QByteArray("->/etc/hostname") << int(Problem::Foreign) << 3;
        QTest::newRow("folder") << S("REC-0002.json") << QByteArray("->") << int(Problem::Foreign) << 3;
        QTest::newRow("damaged counters") << S("manager.json") << QByteArray("{\"format\": \"vrx-manager-st") << int(Problem::Damaged) << 2;
    }
    void unreadableFilesAreReportedAndKept()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(int, kind);
        QFETCH(int, minNext);
        const VOREX_RecordData good = fullRecord(S("REC-0001"), S("good"));
        RecordStore store(m_folder);
        QVERIFY(store.open(nullptr) && save(store, good));
        store.close();
        const QString path = m_folder + QLatin1Char('/') + fileName;
        if (content == "->") {
            QVERIFY(QDir().mkpath(path));
        } else if (content.startsWith("->")) {
            QVERIFY(QFile::link(QString::fromUtf8(content.mid(2)), path));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
        }
        const QByteArray before = fileBytes(path);
        auto present = [&]() { return QFileInfo(path).exists() || QFileInfo(path).isSymLink(); };

        RecordStore::Contents contents;
        QVERIFY(store.open(&contents));
        QCOMPARE(contents.problems.size(), 1);
        QCOMPARE(contents.problems[0].fileName, fileName);
        QCOMPARE(int(contents.problems[0].kind), kind);
        QVERIFY(!contents.problems[0].reason.isEmpty());
        QCOMPARE(contents.recordsByDevice.keys(), QStringList{S("Dev1")});
        QCOMPARE(describe(contents.recordsByDevice[S("Dev1")].value(0)), describe(good));
        QVERIFY(contents.nextRecordNumber >= minNext);

        // Nor is a reported file under the store's own names replaced.
        if (fileName == S("REC-0002.json")) {
            QVERIFY(!store.saveRecord(S("Dev1"), fullRecord(S("REC-0002"), S("new"))));
            QVERIFY(!store.removeRecord(S("REC-0002")));
        }
        QCOMPARE(store.saveNextRecordNumber(9), fileName != S("manager.json"));
        QVERIFY(present());
        QCOMPARE(fileBytes(path), before);
        // Only the store's own temporaries go on request.
        QCOMPARE(store.removeLeftovers(), kind == Problem::Leftover ? 1 : 0);
        QCOMPARE(present(), kind != Problem::Leftover);
    }

    void failedWriteLeavesNoTemporary()
    {
        RecordStore store(m_folder);
        QString error;
        QVERIFY(store.open(nullptr, &error));
        // A folder appears under the record's name after the store was opened.
        QVERIFY(QDir().mkpath(m_folder + S("/REC-0002.json/inside")));
        QVERIFY(!store.saveRecord(S("Dev1"), fullRecord(S("REC-0002"), S("x")), &error));
        QVERIFY2(error.contains(S("REC-0002.json")), qPrintable(error));
        QCOMPARE(entries(m_folder), (QStringList{S("REC-0002.json"), S("manager.lock")}));
    }

    void crashSafety()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        QMap<QString, quint64> confirmed; // record ID -> newest confirmed generation
        int confirmedNext = 1, saves = 0, leftovers = 0;
        for (int round = 0; round < 12; ++round) {
            const QByteArray context = QStringLiteral("seed %1, round %2").arg(seed).arg(round).toUtf8();
            QProcess writer;
            writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writer.start(QCoreApplication::applicationFilePath(), {S(kWriterArg), m_folder});
            // The kill comes at a random moment after the first confirmed save.
            QByteArray out;
            while (!out.contains("saved") && writer.waitForReadyRead(5000))
                out += writer.readAllStandardOutput();
            QVERIFY2(out.contains("saved"), context);
            QTest::qWait(int(random.bounded(10, 300)));
            writer.kill(); // SIGKILL
            QVERIFY(writer.waitForFinished(5000));
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
            const QList<QByteArray> lines = (out + writer.readAllStandardOutput()).split('\n');
            for (int i = 0; i + 1 < lines.size(); ++i) { // the last piece may be a cut line
                const QList<QByteArray> words = lines[i].split(' ');
                if (words[0] == "saved") {
                    confirmed[S(words.value(1))] = words.value(2).toULongLong();
                    ++saves;
                } else if (words[0] == "next") {
                    confirmedNext = words.value(1).toInt();
                }
            }

            const RecordStore::Contents contents = reopen();
            leftovers = contents.problems.size();
            for (const Problem& p : contents.problems)
                QVERIFY2(p.kind == Problem::Leftover, context + ": " + p.fileName.toUtf8() + ": " + p.reason.toUtf8());
            QMap<QString, VOREX_RecordData> loaded;
            for (const auto& records : contents.recordsByDevice) {
                for (const VOREX_RecordData& r : records) {
                    loaded.insert(r.GetRecordID(), r);
                    QCOMPARE(describe(r), describe(crashRecord(r.GetRecordID(), generationOf(r))));
                    QVERIFY(contents.nextRecordNumber > RecordStore::recordNumber(r.GetRecordID()));
                }
            }
            for (auto it = confirmed.cbegin(); it != confirmed.cend(); ++it)
                QVERIFY2(generationOf(loaded.value(it.key())) >= it.value(), context + ": " + it.key().toUtf8() + " lost or older");
            QVERIFY2(contents.nextRecordNumber >= confirmedNext, context);
        }
        qInfo("%d confirmed saves, %d records, %d interrupted writes left, seed %u", saves, int(confirmed.size()), leftovers, seed);
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
