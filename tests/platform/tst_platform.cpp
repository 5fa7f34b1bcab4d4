// The host's value tree, its traces, messages and translations.
#include "startup.h"
#include "testsupport.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace values;
using vrxtest::RecordingObserver;

class TestPlatform : public QObject
{
    Q_OBJECT

    QString m_base;
    int m_case = 0;
    template <typename V, typename... A>
    std::shared_ptr<V> make(const QString& key, A... initial)
    {
        return Tree::Instance()->CreateValue<V>(m_base + key, initial...);
    }

private slots:
    // A fresh subtree per test: the tree is process-wide.
    void init() { m_base = QStringLiteral("/test%1").arg(++m_case); }
    void cleanup() { Tree::Instance()->Release(m_base); }

    void writerIsNotNotifiedNullWriterNotifiesAll()
    {
        auto value = make<Value<int>>("/v", 1);
        vrxtest::ScopedObserver a(value), b(value);
        value->Set(2, &a);
        value->Set(3, nullptr);
        value->Set(3, nullptr); // the same value again is announced again
        value->SetState(eStateDisabled, &b);
        auto told = [](const RecordingObserver& o) { return QPoint(o.count(VC_VALUECHANGED), o.count(VC_STATECHANGED)); };
        QCOMPARE(told(a), QPoint(2, 1)); // (values, states)
        QCOMPARE(told(b), QPoint(3, 0));

        value->AddObserver(&a); // attached twice: told once, attached until detached twice
        value->Set(4, nullptr);
        value->RemoveObserver(&a);
        QCOMPARE(a.count(VC_VALUECHANGED), 3);
        QVERIFY(value->HasObserver(&a));
    }

    void attachByPathChecksPresenceAndType()
    {
        auto i = make<Value<int>>("/i", 7);
        RecordingObserver owner;
        ValueObservingPtr<Value<QString>> wrongType(&owner);
        QVERIFY(!wrongType.Set(m_base + "/i") && !wrongType.Set(m_base + "/nothing") && !wrongType);
        ValueObservingPtr<Value<int>> ok(&owner);
        QVERIFY(ok.Set(m_base + "/i") && i->HasObserver(&owner));
        ok.Reset();
        QCOMPARE(i->ObserverCount(), 0);

        make<ValueNumeric<int64>>("/n", 0);
        ValuePtr<IValueNumeric> numeric(m_base + "/n");
        numeric->SetNumeric(1e30, nullptr); // saturates, no undefined conversion
        QCOMPARE(numeric->GetNumeric(), double(std::numeric_limits<qint64>::max()));
    }

    void invalidStateDetachesAfterOwnerSawIt()
    {
        auto value = make<Value<QString>>("/s", QStringLiteral("x"));
        RecordingObserver owner;
        ValueObservingPtr<Value<QString>> ptr(&owner, m_base + "/s");
        QStringList heldWhenTold;
        owner.m_onUpdate = [&](Observable* o, TChangeCode) { heldWhenTold << QString::number(o == ptr.get()); };
        value->SetState(eStateDisabled, nullptr);
        QVERIFY(ptr); // disabled keeps the binding
        value->SetState(eStateInvalid, nullptr);
        QCOMPARE(heldWhenTold, (QStringList{"1", "1"}));
        QVERIFY(!ptr);
        QCOMPARE(value->ObserverCount(), 0);
        value->SetState(eStateNormal, nullptr); // attachable again once valid
        QVERIFY(ptr.Set(m_base + "/s"));
    }

    void releaseNotifiesDeletingAndNullsPointers()
    {
        auto channel = Tree::Instance()->CreateOrGetNode(m_base + "//channel/");
        QCOMPARE(channel->GetPathName(), m_base + "/channel");
        RecordingObserver nodeObserver, valueOwner;
        NodeObservingPtr nodePtr(&nodeObserver);
        QVERIFY(nodePtr.CreateOrGetNode(m_base + "/channel"));
        make<Value<int>>("/channel/a", 1)->Set(2, nullptr); // a new child is announced, its change is not
        QCOMPARE(nodeObserver.count(VC_VALUECHANGED), 1);
        QVERIFY(!Tree::Instance()->CreateOrGetNode(m_base + "/channel/a/child"));

        // Retyped: the old value is deleted (announced), the new one added (announced).
        ValueObservingPtr<Value<int>> valuePtr(&valueOwner, m_base + "/channel/a");
        make<Value<QString>>("/channel/a", QStringLiteral("text"));
        QVERIFY(!valuePtr);
        QCOMPARE(valueOwner.count(VC_DELETING), 1);
        QCOMPARE(nodeObserver.count(VC_VALUECHANGED), 3);

        QVERIFY(Tree::Instance()->Release(m_base + "/channel"));
        QCOMPARE(nodeObserver.count(VC_DELETING), 1);
        QVERIFY(!nodePtr);
        QVERIFY(!channel->IsAlive());
        QVERIFY(!Tree::Instance()->Find(m_base + "/channel/a"));
        QVERIFY(!Tree::Instance()->Release(m_base + "/channel") && !Tree::Instance()->Release(QStringLiteral("/")));
        make<Value<int>>("/channel/a", 3); // created again under the same path: bindable again
        QVERIFY(valuePtr.Set(m_base + "/channel/a"));
        QVERIFY(valuePtr.get()->IsAlive());
    }

    void observersDetachAndWriteInsideUpdate()
    {
        auto a = make<Value<int>>("/a", 0);
        auto b = make<Value<int>>("/b", 0);
        vrxtest::ScopedObserver onB(b), first(a), second(a), third(a);
        first.m_onUpdate = [&](Observable*, TChangeCode) { // detaches itself and second, writes b
            a->RemoveObserver(&first);
            a->RemoveObserver(&second);
            b->Set(1, nullptr);
        };
        a->Set(1, nullptr);
        QCOMPARE(first.count(VC_VALUECHANGED), 1);
        QCOMPARE(second.count(VC_VALUECHANGED), 0); // detached before its turn
        QCOMPARE(third.count(VC_VALUECHANGED), 1);
        QCOMPARE(onB.count(VC_VALUECHANGED), 1);

        // Releasing the observed value from inside its own notification.
        auto c = make<Value<int>>("/c", 0);
        RecordingObserver releaser;
        ValueObservingPtr<Value<int>> ptr(&releaser, m_base + "/c");
        releaser.m_onUpdate = [&](Observable*, TChangeCode code) {
            if (code == VC_VALUECHANGED)
                Tree::Instance()->Release(m_base + "/c");
        };
        c.reset();
        ptr->Set(5, nullptr);
        QVERIFY(!ptr);
    }

    // Writers, structural changes and observing pointers attached and nulled
    // from several threads (for the thread sanitizer too); meanwhile, once
    // RemoveObserver returns, the observer is told nothing more.
    void concurrentWritersAndObservers()
    {
        const int n = 8;
        auto path = [this](int i) { return m_base + QStringLiteral("/s%1").arg(i % 8); };
        for (int i = 0; i < n; ++i)
            make<Value<int>>(QStringLiteral("/s%1").arg(i), 0);
        std::vector<std::thread> threads;
        std::atomic<int> writersDone{0};
        for (int w = 0; w < 3; ++w)
            threads.emplace_back([&, w] {
                for (int i = 0; i < 20000; ++i) {
                    if (auto v = Tree::Instance()->FindValueAs<Value<int>>(path(i + w)))
                        v->Set(i, nullptr);
                    if (i % 997 == 0)
                        Tree::Instance()->CreateValue<Value<int>>(path(w), 0); // s0..s2 replaced
                }
                ++writersDone;
            });
        for (int a = 0; a < 2; ++a)
            threads.emplace_back([&, a] {
                RecordingObserver counter;
                for (int i = 0; i < 3000; ++i) {
                    ValueObservingPtr<Value<int>> ptr(&counter, path(i + a));
                    if (auto v = ptr.Lock())
                        v->Get();
                }
            });
        auto probed = Tree::Instance()->FindValueAs<Value<int>>(path(7));
        std::atomic<bool> detached{false};
        std::atomic<int> late{0};
        RecordingObserver probe;
        probe.m_onUpdate = [&](Observable*, TChangeCode) { late += detached.load() ? 1 : 0; };
        while (writersDone < 3) {
            detached = false;
            probed->AddObserver(&probe);
            std::this_thread::yield();
            probed->RemoveObserver(&probe);
            detached = true;
            std::this_thread::yield();
        }
        for (auto& t : threads)
            t.join();
        QCOMPARE(late.load(), 0);
        QVERIFY(!probe.seen().empty());
        QVERIFY(probe.seen()[0].thread != QThread::currentThread()); // told on the writer's thread
        for (int i = 0; i < n; ++i)
            QCOMPARE(Tree::Instance()->Find(path(i))->ObserverCount(), 0);
    }

    void messagesTracesAndTranslations()
    {
        ErrorHandler::Instance()->TakeMessages();
        QStringList routed;
        ErrorHandler::Instance()->SetMessageSink([&](const MessageRecord& m) { routed << m.text; });
        for (int i = 0; i < 1001; ++i) // unread, only the latest thousand are kept
            ErrorHandler::Instance()->Message(QString::number(i), true, -1, true);
        ErrorHandler::Instance()->SetMessageSink(nullptr);
        QCOMPARE(routed.size(), 1001);
        const auto taken = ErrorHandler::Instance()->TakeMessages();
        QCOMPARE(int(taken.size()), 1000);
        QCOMPARE(taken[0].text, QStringLiteral("1"));
        QStringList removed, kept; // a removed trace sink hears nothing more, the others still do
        const int first = ErrorHandler::Instance()->AddTraceSink([&](const TraceRecord& r) { removed << r.text; });
        const int second = ErrorHandler::Instance()->AddTraceSink([&](const TraceRecord& r) { kept << r.text; });
        ErrorHandler::Instance()->RemoveTraceSink(first);
        _Q_Trace(QStringLiteral("after"), QStringLiteral(__FILE__), __LINE__);
        ErrorHandler::Instance()->RemoveTraceSink(second);
        QCOMPARE(removed, QStringList());
        QCOMPARE(kept, QStringList{"after"});

        auto* tc = TranslationCenter::Instance(); // registrations are counted; one too many is ignored
        for (int i = 0; i < 2; ++i)
            tc->RegisterTranslation(QStringLiteral("Vorex"));
        tc->UnregisterTranslation(QStringLiteral("Vorex"));
        QCOMPARE(tc->RegistrationCount(QStringLiteral("Vorex")), 1);
        for (int i = 0; i < 2; ++i)
            tc->UnregisterTranslation(QStringLiteral("Vorex"));
        QCOMPARE(tc->RegistrationCount(QStringLiteral("Vorex")), 0);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
