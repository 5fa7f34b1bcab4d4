#include "testsupport.h"
#include "values.h"
#include "vcwidgets.h"
#include "vorexclient.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace values;
using vrxtest::RecordingObserver;

class TestValueTree : public QObject
{
    Q_OBJECT

private:
    QString m_base;
    int m_case = 0;

private slots:
    void init()
    {
        // A fresh subtree per test: the tree is process-wide.
        m_base = QStringLiteral("/test%1").arg(++m_case);
    }
    void cleanup() { Tree::Instance()->Release(m_base); }

    void writerIsNotNotifiedNullWriterNotifiesAll()
    {
        auto value = Tree::Instance()->CreateValue<Value<int>>(m_base + "/v", 1);
        RecordingObserver a, b;
        value->AddObserver(&a);
        value->AddObserver(&b);

        value->Set(2, &a);
        QCOMPARE(a.count(VC_VALUECHANGED), 0);
        QCOMPARE(b.count(VC_VALUECHANGED), 1);

        value->Set(3, nullptr);
        QCOMPARE(a.count(VC_VALUECHANGED), 1);
        QCOMPARE(b.count(VC_VALUECHANGED), 2);

        // The same value written again is announced again.
        value->Set(3, nullptr);
        QCOMPARE(b.count(VC_VALUECHANGED), 3);

        value->SetState(eStateDisabled, &b);
        QCOMPARE(a.count(VC_STATECHANGED), 1);
        QCOMPARE(b.count(VC_STATECHANGED), 0);
        value->RemoveObserver(&a);
        value->RemoveObserver(&b);
    }

    void doubleAttachNeedsDoubleDetachAndNotifiesOnce()
    {
        auto value = Tree::Instance()->CreateValue<Value<bool>>(m_base + "/flag");
        RecordingObserver o;
        value->AddObserver(&o);
        value->AddObserver(&o);
        value->Set(true, nullptr);
        QCOMPARE(o.count(VC_VALUECHANGED), 1);
        value->RemoveObserver(&o);
        QVERIFY(value->HasObserver(&o));
        value->RemoveObserver(&o);
        QVERIFY(!value->HasObserver(&o));
    }

    void selectionKeysAndItems()
    {
        auto sel = Tree::Instance()->CreateValue<ValueSelection>(m_base + "/sel", 5);
        QCOMPARE(sel->GetCurrentKey(), 5L);
        QVERIFY(sel->SelectIndex(42, nullptr)); // no items: any key
        sel->AddItem(SelItemDesc("zero", 0.0, 0));
        sel->AddItem(SelItemDesc("one", 1.0, 1));
        QVERIFY(!sel->SelectIndex(7, nullptr));
        QCOMPARE(sel->GetCurrentKey(), 42L);
        QVERIFY(sel->SelectIndex(1, nullptr));
        QCOMPARE(sel->GetCurrentText(), QStringLiteral("one"));
        QVERIFY(VTHelper::Instance().SafeSetValue(sel.get(), 0, nullptr));
        QCOMPARE(sel->GetCurrentKey(), 0L);
        QVERIFY(!VTHelper::Instance().SafeSetValue(nullptr, 0, nullptr));
    }

    void attachByPathChecksPresenceAndType()
    {
        Tree::Instance()->CreateValue<Value<int>>(m_base + "/i", 7);
        RecordingObserver owner;
        ValueObservingPtr<Value<int>> ok(&owner);
        QVERIFY(ok.Set(m_base + "/i"));
        QCOMPARE(ok->Get(), 7);
        QVERIFY(ok.get()->HasObserver(&owner));

        ValueObservingPtr<Value<QString>> wrongType(&owner);
        QVERIFY(!wrongType.Set(m_base + "/i"));
        QVERIFY(!wrongType);

        ValueObservingPtr<Value<int>> missing(&owner);
        QVERIFY(!missing.Set(m_base + "/nothing"));
        QVERIFY(!missing);

        // Numeric values answer through their interface too.
        Tree::Instance()->CreateValue<ValueNumeric<int64>>(m_base + "/n", Q_INT64_C(1) << 40);
        ValuePtr<IValueNumeric> numeric(m_base + "/n");
        QVERIFY(numeric);
        QCOMPARE(numeric->GetNumeric(), double(Q_INT64_C(1) << 40));
        numeric->SetNumeric(1e30, nullptr); // saturates, no undefined conversion
        QCOMPARE(Tree::Instance()->FindValueAs<ValueNumeric<int64>>(m_base + "/n")->Get(),
                 std::numeric_limits<qint64>::max());

        // Rebinding moves owner and pointer to the new value.
        Tree::Instance()->CreateValue<Value<int>>(m_base + "/j", 8);
        auto first = ok.Lock();
        QVERIFY(ok.Set(m_base + "/j"));
        QVERIFY(!first->HasObserver(&owner));
        QVERIFY(ok.get()->HasObserver(&owner));
        ok.Reset();
        QVERIFY(!ok);
        QCOMPARE(Tree::Instance()->Find(m_base + "/j")->ObserverCount(), 0);
    }

    void invalidStateDetachesAfterOwnerSawIt()
    {
        auto value = Tree::Instance()->CreateValue<Value<QString>>(m_base + "/s", QStringLiteral("x"));
        RecordingObserver owner;
        ValueObservingPtr<Value<QString>> ptr(&owner, m_base + "/s");
        bool heldWhenOwnerWasTold = false;
        owner.m_onUpdate = [&](Observable* o, TChangeCode code) {
            if (code == VC_STATECHANGED)
                heldWhenOwnerWasTold = (o == ptr.get());
        };

        value->SetState(eStateDisabled, nullptr);
        QVERIFY(ptr); // disabled keeps the binding
        QVERIFY(heldWhenOwnerWasTold);

        value->SetState(eStateInvalid, nullptr);
        QVERIFY(heldWhenOwnerWasTold);
        QVERIFY(!ptr);
        QCOMPARE(value->ObserverCount(), 0);
        value->Set(QStringLiteral("y"), nullptr);
        QCOMPARE(owner.count(VC_VALUECHANGED), 0);

        // Attach again once valid: the retry path of the bindings.
        value->SetState(eStateNormal, nullptr);
        QVERIFY(ptr.Set(m_base + "/s"));
    }

    void releaseNotifiesDeletingAndNullsPointers()
    {
        auto channel = Tree::Instance()->CreateOrGetNode(m_base + "/channel");
        RecordingObserver nodeObserver;
        NodeObservingPtr nodePtr(&nodeObserver);
        QVERIFY(nodePtr.CreateOrGetNode(m_base + "/channel"));
        QCOMPARE(nodePtr.GetName(), QStringLiteral("channel"));

        // A new child announces itself on the parent node.
        Tree::Instance()->CreateValue<Value<int>>(m_base + "/channel/a", 1);
        QCOMPARE(nodeObserver.count(VC_VALUECHANGED), 1);
        // A change of the child does not.
        Tree::Instance()->FindValueAs<Value<int>>(m_base + "/channel/a")->Set(2, nullptr);
        QCOMPARE(nodeObserver.count(VC_VALUECHANGED), 1);

        RecordingObserver valueOwner;
        ValueObservingPtr<Value<int>> valuePtr(&valueOwner, m_base + "/channel/a");
        QVERIFY(valuePtr);

        QVERIFY(Tree::Instance()->Release(m_base + "/channel"));
        QCOMPARE(valueOwner.count(VC_DELETING), 1);
        QCOMPARE(nodeObserver.count(VC_DELETING), 1);
        QVERIFY(!valuePtr);
        QVERIFY(!nodePtr);
        QVERIFY(!channel->IsAlive());
        QVERIFY(!Tree::Instance()->Find(m_base + "/channel/a"));
        QVERIFY(!Tree::Instance()->Release(m_base + "/channel"));

        // Re-created under the same path: a new value, bindable again.
        Tree::Instance()->CreateValue<Value<int>>(m_base + "/channel/a", 3);
        QVERIFY(valuePtr.Set(m_base + "/channel/a"));
        QCOMPARE(valuePtr->Get(), 3);
    }

    void retypeReplacesTheValue()
    {
        Tree::Instance()->CreateValue<Value<int>>(m_base + "/v", 1);
        RecordingObserver owner;
        ValueObservingPtr<Value<int>> ptr(&owner, m_base + "/v");
        Tree::Instance()->CreateValue<Value<QString>>(m_base + "/v", QStringLiteral("text"));
        QVERIFY(!ptr);
        QCOMPARE(owner.count(VC_DELETING), 1);
        QVERIFY(!ptr.Set(m_base + "/v"));
    }

    void nodePathsAndNames()
    {
        NodePtr root;
        QVERIFY(root.CreateOrGetNode(QString()));
        QVERIFY(root.GetName().isEmpty());
        NodePtr deep;
        QVERIFY(deep.CreateOrGetNode(m_base + "//x/y/"));
        QCOMPARE(deep.GetName(), QStringLiteral("y"));
        QCOMPARE(deep->GetPathName(), m_base + "/x/y");
        Tree::Instance()->CreateValue<Value<int>>(m_base + "/leaf", 1);
        NodePtr through;
        QVERIFY(!through.CreateOrGetNode(m_base + "/leaf/child"));
        QVERIFY(!Tree::Instance()->CreateValue<Value<int>>(m_base + "/leaf/child", 1));
        QVERIFY(!Tree::Instance()->Release(QStringLiteral("/")));
    }

    void observersDetachAndWriteInsideUpdate()
    {
        auto a = Tree::Instance()->CreateValue<Value<int>>(m_base + "/a", 0);
        auto b = Tree::Instance()->CreateValue<Value<int>>(m_base + "/b", 0);
        RecordingObserver first, second, third, onB;
        b->AddObserver(&onB);
        a->AddObserver(&first);
        a->AddObserver(&second);
        a->AddObserver(&third);
        // first detaches itself and second, and writes b.
        first.m_onUpdate = [&](Observable*, TChangeCode) {
            a->RemoveObserver(&first);
            a->RemoveObserver(&second);
            b->Set(1, nullptr);
        };
        a->Set(1, nullptr);
        QCOMPARE(first.count(VC_VALUECHANGED), 1);
        QCOMPARE(second.count(VC_VALUECHANGED), 0); // detached before its turn
        QCOMPARE(third.count(VC_VALUECHANGED), 1);
        QCOMPARE(onB.count(VC_VALUECHANGED), 1);
        QCOMPARE(b->Get(), 1);
        a->RemoveObserver(&third);
        b->RemoveObserver(&onB);

        // Releasing the observed value from inside its own notification.
        RecordingObserver releaser;
        ValueObservingPtr<Value<int>> ptr(&releaser, m_base + "/a");
        releaser.m_onUpdate = [&](Observable*, TChangeCode code) {
            if (code == VC_VALUECHANGED)
                Tree::Instance()->Release(m_base + "/a");
        };
        a.reset();
        ptr->Set(5, nullptr);
        QVERIFY(!ptr);
    }

    void workerThreadChangeNotifiesOnThatThread()
    {
        auto value = Tree::Instance()->CreateValue<Value<int>>(m_base + "/w", 0);
        vrxtest::ScopedObserver o(value);
        std::thread([&] { value->Set(9, nullptr); }).join();
        const auto seen = o.seen();
        QCOMPARE(int(seen.size()), 1);
        QVERIFY(seen[0].thread != QThread::currentThread());
    }

    void noNotificationAfterDetachReturned()
    {
        auto value = Tree::Instance()->CreateValue<Value<int>>(m_base + "/race", 0);
        std::atomic<bool> stop{false};
        std::atomic<bool> detached{false};
        std::atomic<int> late{0};
        struct Probe : IObserver
        {
            std::atomic<bool>* detached;
            std::atomic<int>* late;
            void Update(Observable*, TChangeCode) override
            {
                if (detached->load())
                    ++*late;
            }
        } probe;
        probe.detached = &detached;
        probe.late = &late;

        std::thread writer([&] {
            int i = 0;
            while (!stop.load())
                value->Set(++i, nullptr);
        });
        for (int round = 0; round < 200; ++round) {
            detached = false;
            value->AddObserver(&probe);
            std::this_thread::yield();
            value->RemoveObserver(&probe);
            detached = true;
            std::this_thread::yield();
        }
        stop = true;
        writer.join();
        QCOMPARE(late.load(), 0);
    }

    void stressWritersAndAttachingObservers()
    {
        const int values = 8;
        for (int i = 0; i < values; ++i)
            Tree::Instance()->CreateValue<Value<int>>(m_base + QStringLiteral("/s%1").arg(i), 0);
        std::atomic<bool> stop{false};
        std::atomic<long> notified{0};
        struct Counter : IObserver
        {
            std::atomic<long>* n;
            void Update(Observable*, TChangeCode) override { ++*n; }
        };

        std::vector<std::thread> threads;
        for (int w = 0; w < 3; ++w) {
            threads.emplace_back([&, w] {
                for (int i = 0; !stop.load() && i < 20000; ++i) {
                    auto v = Tree::Instance()->FindValueAs<Value<int>>(m_base + QStringLiteral("/s%1").arg((i + w) % values));
                    if (v)
                        v->Set(i, nullptr);
                    if (i % 997 == 0) // structural churn too
                        Tree::Instance()->CreateValue<Value<int>>(m_base + QStringLiteral("/s%1").arg(w), 0);
                }
            });
        }
        for (int a = 0; a < 2; ++a) {
            threads.emplace_back([&, a] {
                Counter counter;
                counter.n = &notified;
                for (int i = 0; !stop.load() && i < 3000; ++i) {
                    ValueObservingPtr<Value<int>> ptr(&counter, m_base + QStringLiteral("/s%1").arg((i + a) % values));
                    // The pointer may be nulled by another thread at any time.
                    if (auto v = ptr.Lock())
                        v->Get();
                }
            });
        }
        for (auto& t : threads)
            t.join();
        for (int i = 0; i < values; ++i) {
            auto v = Tree::Instance()->Find(m_base + QStringLiteral("/s%1").arg(i));
            QVERIFY(v);
            QCOMPARE(v->ObserverCount(), 0);
        }
    }

    void setValueInternalChecksPathAndType()
    {
        auto i = Tree::Instance()->CreateValue<Value<int>>(m_base + "/i", 1);
        auto s = Tree::Instance()->CreateValue<Value<QString>>(m_base + "/s");
        VTHelper::Instance().SetValueInternal<int>(m_base + "/i", 5, nullptr);
        QCOMPARE(i->Get(), 5);
        VTHelper::Instance().SetValueInternal<bool>(m_base + "/i", true, nullptr); // other type
        QCOMPARE(i->Get(), 5);
        VTHelper::Instance().SetValueInternal<QString>(m_base + "/missing", QStringLiteral("x"), nullptr);
        VTHelper::Instance().SetValueInternal<QString>(m_base + "/s", QStringLiteral("x"), nullptr);
        QCOMPARE(s->Get(), QStringLiteral("x"));
    }

    void uniqueSelectionsAndClientRegistrations()
    {
        const QString p1 = GuiCentral::Instance().CreateUniqueValueSelection();
        const QString p2 = GuiCentral::Instance().CreateUniqueValueSelection();
        QVERIFY(p1 != p2);
        QVERIFY(Tree::Instance()->FindValueAs<ValueSelection>(p1));
        QVERIFY(Tree::Instance()->FindValueAs<ValueSelection>(p2));

        auto v = Tree::Instance()->CreateValue<Value<QString>>(m_base + "/ErrorCode");
        VtClient client(QStringLiteral("c"));
        client.AddValue(v.get(), 0);
        client.AddValue(v.get(), 0);
        client.AddValue(nullptr, 0);
        QCOMPARE(client.RegisteredPaths(), QStringList{m_base + "/ErrorCode"});
    }
};

QTEST_MAIN(TestValueTree)
#include "tst_valuetree.moc"
