#include "vorexclient.h"
#include "vorexclient_remote_p.h"

#include <QtTest>

// The link's hand-made TypeCodes must marshal exactly as the declarations
// do; a DSI servant in the suite's ORB reads what a DII request wrote.

namespace {

// Answers getRecord(dev, rec, out info) with the record it was given and
// keeps the bookmarks of addBookmarks.
class AdminServant : public PortableServer::DynamicImplementation
{
public:
    VOREX_XML::VOREX_RecordData record;
    QVector<VOREX_XML::BookmarkEntry> added;
    char* _primary_interface(const PortableServer::ObjectId&, PortableServer::POA_ptr) override
    {
        return CORBA::string_dup("IDL:KD_VRX/IF_VOREX_Admin:1.0");
    }
    void invoke(CORBA::ServerRequest_ptr request) override
    {
        using namespace VorexRemote;
        CORBA::NVList_ptr args;
        Orb()->create_list(0, args);
        args->add_value("", DefaultAny(CORBA::_tc_string), CORBA::ARG_IN);
        args->add_value("", DefaultAny(CORBA::_tc_string), CORBA::ARG_IN);
        const bool get = qstrcmp(request->operation(), "getRecord") == 0;
        args->add_value("", DefaultAny(get ? TypeCodes::Get().recordInfo : TypeCodes::Get().bookmarkItemSeq),
                        get ? CORBA::ARG_OUT : CORBA::ARG_IN);
        request->arguments(args);
        if (get)
            *args->item(2)->value() = RecordToAny(record);
        else
            added = BookmarksFromAny(*args->item(2)->value());
        CORBA::Any result;
        result <<= CORBA::ULong(get ? 0 : 7);
        request->set_result(result);
    }
};

} // namespace

class TestRemoteLink : public QObject
{
    Q_OBJECT
private slots:
    void conversionsRoundTrip()
    {
        using namespace VorexRemote;
        VOREX_XML::VOREX_RecordData r(QStringLiteral("R-17"), QStringLiteral("Überflug \u00e9t\u00e9"));
        r.SetStartTime(1000);
        r.SetStopTime(5000);
        r.SetRecordSize(123456789012ULL);
        r.SetDataRate(VOREX_XML::VOREX_RecordData::eDataRate_12);
        r.SetDataFormat(7);
        r.SetBookmarkEntry({VOREX_XML::BookmarkEntry(1500, QStringLiteral("eins")),
                            VOREX_XML::BookmarkEntry(2500, QStringLiteral("zwei"))});
        r.SetHistory({VOREX_XML::HistoryEntry(42, QStringLiteral("created"))});
        r.SetIndexEntry({VOREX_XML::IndexEntry(1000, 0), VOREX_XML::IndexEntry(3000, 4096), VOREX_XML::IndexEntry(5000, 123456789012ULL)});
        const VOREX_XML::VOREX_RecordData back = RecordFromAny(RecordToAny(r));
        QCOMPARE(back.GetIndexEntry(), r.GetIndexEntry()); // the replay bar's times come from it
        QCOMPARE(back.GetRecordID(), r.GetRecordID());
        QCOMPARE(back.GetRecordName(), r.GetRecordName());
        QCOMPARE(back.GetStartTime(), quint64(1000));
        QCOMPARE(back.GetStopTime(), quint64(5000));
        QCOMPARE(back.GetRecordSize(), r.GetRecordSize());
        QCOMPARE(int(back.GetDataRate()), 12);
        QCOMPARE(back.GetDataFormat(), 7);
        QCOMPARE(back.GetRecordStatus(), VOREX_XML::VOREX_RecordData::RecordStatusCompleted);
        QCOMPARE(back.GetBookmarkEntry(), r.GetBookmarkEntry());
        QCOMPARE(back.GetHistory().size(), 1);
        QCOMPARE(back.GetHistory()[0].GetText(), QStringLiteral("created"));

        QCOMPARE(EnumFromAny(EnumAny(TypeCodes::Get().dataRateClass, 15)), CORBA::ULong(15));
        QVERIFY(BookmarksFromAny(BookmarksToAny({})).isEmpty());

        quint64 freeBytes = 0, totalBytes = 0;
        QVERIFY(ParseSpace(QStringLiteral("free=100 total=2000"), freeBytes, totalBytes));
        QCOMPARE(freeBytes, quint64(100));
        QCOMPARE(totalBytes, quint64(2000));
        QVERIFY(!ParseSpace(QStringLiteral("added"), freeBytes, totalBytes));
        QVERIFY(!ParseSpace(QStringLiteral("free=x total=1"), freeBytes, totalBytes));
    }

    void requestsReachADynamicServant()
    {
        using namespace VorexRemote;
        auto* servant = new AdminServant;
        servant->record = VOREX_XML::VOREX_RecordData(QStringLiteral("R-1"), QStringLiteral("first"));
        servant->record.SetBookmarkEntry({VOREX_XML::BookmarkEntry(9, QStringLiteral("b"))});
        PortableServer::ObjectId_var id = RootPoa()->activate_object(servant);
        CORBA::Object_var obj = RootPoa()->id_to_reference(id);
        // Through a stringified reference, as a manager's would arrive.
        CORBA::String_var ior = Orb()->object_to_string(obj);
        CORBA::Object_var remote = Orb()->string_to_object(ior);

        CORBA::Request_var get = remote->_request("getRecord");
        get->add_in_arg() <<= "Dev1";
        get->add_in_arg() <<= "R-1";
        get->add_out_arg() = DefaultAny(TypeCodes::Get().recordInfo);
        get->set_return_type(CORBA::_tc_ulong);
        get->invoke();
        QVERIFY(!get->env()->exception());
        const VOREX_XML::VOREX_RecordData got = RecordFromAny(*get->arguments()->item(2)->value());
        QCOMPARE(got.GetRecordName(), QStringLiteral("first"));
        QCOMPARE(got.GetBookmarkEntry(), servant->record.GetBookmarkEntry());

        CORBA::Request_var add = remote->_request("addBookmarks");
        add->add_in_arg() <<= "Dev1";
        add->add_in_arg() <<= "R-1";
        add->add_in_arg() = BookmarksToAny({VOREX_XML::BookmarkEntry(77, QStringLiteral("neu \u2603"))});
        add->set_return_type(CORBA::_tc_ulong);
        add->invoke();
        CORBA::ULong code = 0;
        add->return_value() >>= code;
        QCOMPARE(code, CORBA::ULong(7));
        QCOMPARE(servant->added.size(), 1);
        QCOMPARE(servant->added[0].GetBookmark(), QStringLiteral("neu \u2603"));
        RootPoa()->deactivate_object(id);
        servant->_remove_ref();
    }

    void unreachableManagerStaysDisconnected()
    {
        // Nothing listens on the port: the link must keep trying without
        // ever reporting a connection, and commands answer "not connected".
        using VorexCommon::RemoteRecorderManagerLink;
        auto link = std::make_shared<RemoteRecorderManagerLink>(
            QStringLiteral("corbaloc::127.0.0.1:1/CCO"),
            std::vector<RemoteRecorderManagerLink::ChannelPaths>{{QStringLiteral("/Receivers/Channel1"),
                                                                  QStringLiteral("/Host/Channel1/ReplayTime")}},
            QStringLiteral("test-client"));
        QSignalSpy changed(VorexCommon::RecorderManagerEvents::Instance(), &VorexCommon::RecorderManagerEvents::si_connectionChanged);
        VorexCommon::RecorderManagerLink::Install(link);
        link->Start();
        QTest::qWait(1500);
        QVERIFY(!link->IsConnected());
        QCOMPARE(changed.count(), 0);
        quint64 time = 1;
        QCOMPARE(link->GetDeviceTime(QString(), QStringLiteral("Dev1"), time), quint32(1));
        QCOMPARE(time, quint64(0));
        QCOMPARE(link->ExecuteReplayCommand({QStringLiteral("StopReplay"), QStringLiteral("/Receivers/Channel1"),
                                             {QStringLiteral("Dev1"), QStringLiteral("R")}}),
                 quint32(1));
        VorexCommon::RecorderManagerLink::Install(nullptr);
        link->Stop();
        link.reset();
    }

    void cleanupTestCase() { VorexCommon::RemoteRecorderManagerLink::ShutdownOrb(); }
};

QTEST_MAIN(TestRemoteLink)
#include "tst_remotelink.moc"
