#pragma once

// Host value tree: a process-wide hierarchy of typed, observable values
// addressed by absolute "/"-separated paths.
//
// Threading: any thread may read, write, attach or detach at any time.
// Notifications are delivered synchronously on the thread that made the
// change. One recursive lock serialises the tree, so an observer may write
// other values, attach or detach (itself or others) from inside Update, and
// once RemoveObserver has returned no notification reaches that observer.
// An observer must not block inside Update waiting for another thread that
// touches the tree.

#include "base.h"
#include "platform_export.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

class VRXPLATFORM_EXPORT Observable
{
public:
    Observable() = default;
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;
    virtual ~Observable();

    // Attaching the same observer twice needs two removals; it is notified once.
    void AddObserver(IObserver* observer);
    void RemoveObserver(IObserver* observer);
    bool HasObserver(IObserver* observer) const;
    int ObserverCount() const;

protected:
    // Notifies every attached observer except `writer` (null notifies all).
    void Notify(TChangeCode code, IObserver* writer);
    void DropAllObservers();

private:
    struct Entry
    {
        IObserver* observer;
        int count;
    };
    std::vector<Entry> m_observers;
};

namespace values {

typedef qint64 int64;

enum ValueState : int {
    eStateNormal = 0,
    eStateInvalid = 1,
    eStateDisabled = 2
};

// The lock that serialises the tree. Exposed so that stand-ins built on the
// tree can make a read-then-act sequence atomic; hold it briefly.
VRXPLATFORM_EXPORT std::recursive_mutex& TreeMutex();

class Tree;

class VRXPLATFORM_EXPORT Node : public Observable, public std::enable_shared_from_this<Node>
{
public:
    explicit Node(const QString& name);
    ~Node() override;

    QString GetName() const;
    // Absolute path ("/a/b"); empty for the root.
    QString GetPathName() const;
    std::shared_ptr<Node> GetParent() const;
    std::shared_ptr<Node> GetChild(const QString& name) const;
    std::vector<std::shared_ptr<Node>> GetChildren() const;
    // False once the node has been released from the tree.
    bool IsAlive() const;

    virtual bool IsValue() const { return false; }

private:
    friend class Tree;
    QString m_name;
    std::weak_ptr<Node> m_parent;
    std::map<QString, std::shared_ptr<Node>> m_children;
    bool m_bAlive = true;
};

class VRXPLATFORM_EXPORT ValueBase : public Node
{
public:
    explicit ValueBase(const QString& name);

    int GetState() const;
    // Notifies VC_STATECHANGED to all observers but `writer`.
    void SetState(int state, IObserver* writer);

    bool IsValue() const override { return true; }
    virtual QString TypeName() const = 0;
    virtual QString ToString() const = 0;

protected:
    void Changed(IObserver* writer) { Notify(VC_VALUECHANGED, writer); }

private:
    int m_state = eStateNormal;
};

namespace detail {
template <typename T> const T& ownedValue(const T& value) { return value; }
inline QString ownedValue(const QString& value) { return OwnedText(value); }
} // namespace detail

// Every write notifies, also when the new value equals the old one: writers
// use a repeated write to announce the value again.
template <typename T>
class Value : public ValueBase
{
public:
    Value(const QString& name, const T& initial = T())
        : ValueBase(name), m_value(detail::ownedValue(initial))
    {
    }

    T Get() const
    {
        std::lock_guard<std::recursive_mutex> lock(TreeMutex());
        return m_value;
    }

    void Set(const T& value, IObserver* writer)
    {
        std::lock_guard<std::recursive_mutex> lock(TreeMutex());
        m_value = detail::ownedValue(value);
        Changed(writer);
    }

    QString TypeName() const override;
    QString ToString() const override;

private:
    T m_value;
};

template <> QString Value<bool>::TypeName() const;
template <> QString Value<int>::TypeName() const;
template <> QString Value<unsigned int>::TypeName() const;
template <> QString Value<QString>::TypeName() const;
template <> QString Value<bool>::ToString() const;
template <> QString Value<int>::ToString() const;
template <> QString Value<unsigned int>::ToString() const;
template <> QString Value<QString>::ToString() const;

extern template class Value<bool>;
extern template class Value<int>;
extern template class Value<unsigned int>;
extern template class Value<QString>;

class VRXPLATFORM_EXPORT IValueNumeric : public ValueBase
{
public:
    explicit IValueNumeric(const QString& name) : ValueBase(name) {}
    virtual double GetNumeric() const = 0;
    virtual void SetNumeric(double value, IObserver* writer) = 0;
};

template <typename T>
class ValueNumeric : public IValueNumeric
{
public:
    ValueNumeric(const QString& name, T initial = T())
        : IValueNumeric(name), m_value(initial)
    {
    }

    T Get() const
    {
        std::lock_guard<std::recursive_mutex> lock(TreeMutex());
        return m_value;
    }

    void Set(T value, IObserver* writer)
    {
        std::lock_guard<std::recursive_mutex> lock(TreeMutex());
        m_value = value;
        Changed(writer);
    }

    double GetNumeric() const override { return static_cast<double>(Get()); }
    void SetNumeric(double value, IObserver* writer) override;

    QString TypeName() const override;
    QString ToString() const override { return QString::number(Get()); }

private:
    T m_value;
};

template <> void ValueNumeric<int64>::SetNumeric(double value, IObserver* writer);
template <> void ValueNumeric<double>::SetNumeric(double value, IObserver* writer);
template <> QString ValueNumeric<int64>::TypeName() const;
template <> QString ValueNumeric<double>::TypeName() const;
extern template class ValueNumeric<int64>;
extern template class ValueNumeric<double>;

struct VRXPLATFORM_EXPORT SelItemDesc
{
    SelItemDesc() = default;
    SelItemDesc(const QString& text, double value, long key)
        : m_text(text), m_value(value), m_key(key)
    {
    }
    QString m_text;
    double m_value = 0.0;
    long m_key = 0;
};

// A choice among items identified by key. Without items any key may be
// selected; with items only their keys.
class VRXPLATFORM_EXPORT ValueSelection : public ValueBase
{
public:
    explicit ValueSelection(const QString& name, long initialKey = 0);

    long GetCurrentKey() const;
    QString GetCurrentText() const;
    bool SelectIndex(long key, IObserver* writer);

    void AddItem(const SelItemDesc& item);
    std::vector<SelItemDesc> GetItems() const;
    bool HasKey(long key) const;

    QString TypeName() const override { return QStringLiteral("selection"); }
    QString ToString() const override { return QString::number(GetCurrentKey()); }

private:
    long m_currentKey;
    std::vector<SelItemDesc> m_items;
};

// Description of a value for the recorder manager side when it builds
// a channel: the kind, the initial text form and the state.
struct VRXPLATFORM_EXPORT ValueDescriptor
{
    enum Kind { Bool, Int, UInt, String, Int64, Double, Selection };
    Kind kind = String;
    QString initial;
    int state = eStateNormal;
};

class VRXPLATFORM_EXPORT Tree
{
public:
    static Tree* Instance();

    std::shared_ptr<Node> Root() const;
    std::shared_ptr<Node> FindNode(const QString& path) const;
    // The value at `path`, or null (no node there, or the node is not a value).
    ValueBase* Find(const QString& path) const;
    std::shared_ptr<ValueBase> FindValue(const QString& path) const;
    template <typename V>
    std::shared_ptr<V> FindValueAs(const QString& path) const
    {
        return std::dynamic_pointer_cast<V>(FindValue(path));
    }

    // Node at `path`, created with its missing ancestors. Null for a path that
    // runs through a value.
    std::shared_ptr<Node> CreateOrGetNode(const QString& path);

    // Creates a value at `path`, replacing (and releasing) whatever is there,
    // so this is also how a value is retyped. Null for a path through a value.
    template <typename V, typename... Args>
    std::shared_ptr<V> CreateValue(const QString& path, Args&&... args)
    {
        std::lock_guard<std::recursive_mutex> lock(TreeMutex());
        std::shared_ptr<Node> parent;
        QString name;
        if (!PrepareInsert(path, parent, name))
            return nullptr;
        auto value = std::make_shared<V>(name, std::forward<Args>(args)...);
        Insert(parent, value);
        return value;
    }

    std::shared_ptr<ValueBase> CreateFromDescriptor(const QString& path, const ValueDescriptor& descriptor);

    // Releases the node at `path` with its subtree: VC_DELETING to every
    // node's observers (deepest first), then removal. False when not found.
    bool Release(const QString& pathName);

    static QStringList SplitPath(const QString& path);

private:
    Tree();
    bool PrepareInsert(const QString& path, std::shared_ptr<Node>& parent, QString& name);
    void Insert(const std::shared_ptr<Node>& parent, const std::shared_ptr<Node>& node);
    void ReleaseNode(const std::shared_ptr<Node>& node);

    std::shared_ptr<Node> m_root;
};

namespace detail {
// Attachment shared by the pointer types: holds the target, observes it
// through an inner observer and names an optional owner that is attached
// before the inner observer, so the owner sees a state-1 or deletion
// notification while the pointer still holds the value.
class VRXPLATFORM_EXPORT Attachment : private IObserver
{
public:
    explicit Attachment(IObserver* owner);
    ~Attachment() override;
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    void AttachTo(const std::shared_ptr<Node>& node);
    void Detach();
    std::shared_ptr<Node> Target() const;
    Node* RawTarget() const;
    IObserver* Owner() const { return m_pOwner; }

private:
    void Update(Observable* observable, TChangeCode code) override;
    void DetachLocked();

    IObserver* m_pOwner;
    std::shared_ptr<Node> m_target;
};
} // namespace detail

// Holds one value of type T and observes it.
template <typename T>
class ValuePtr
{
public:
    ValuePtr() : m_attachment(nullptr) {}
    explicit ValuePtr(const QString& path) : m_attachment(nullptr) { Set(path); }
    ValuePtr(const ValuePtr&) = delete;
    ValuePtr& operator=(const ValuePtr&) = delete;

    // Attaches to the value at `path`; false (and null) when it is missing or
    // of another type.
    bool Set(const QString& path)
    {
        std::lock_guard<std::recursive_mutex> lock(TreeMutex());
        auto value = std::dynamic_pointer_cast<T>(Tree::Instance()->FindValue(path));
        m_attachment.AttachTo(value);
        return value != nullptr;
    }

    void Set(const std::shared_ptr<T>& value) { m_attachment.AttachTo(value); }

    void Reset() { m_attachment.Detach(); }

    // Raw pointer for identity checks. Dereference through Lock() or ->,
    // which keep the value alive for the whole expression.
    T* get() const { return static_cast<T*>(m_attachment.RawTarget()); }
    std::shared_ptr<T> Lock() const { return std::static_pointer_cast<T>(m_attachment.Target()); }
    std::shared_ptr<T> operator->() const { return Lock(); }
    explicit operator bool() const { return get() != nullptr; }
    bool IsAttached() const { return get() != nullptr; }

protected:
    explicit ValuePtr(IObserver* owner) : m_attachment(owner) {}

private:
    detail::Attachment m_attachment;
};

// A ValuePtr that also attaches its owning observer to the value.
template <typename T>
class ValueObservingPtr : public ValuePtr<T>
{
public:
    explicit ValueObservingPtr(IObserver* owner) : ValuePtr<T>(owner) {}
    ValueObservingPtr(IObserver* owner, const QString& path) : ValuePtr<T>(owner) { this->Set(path); }
};

class VRXPLATFORM_EXPORT NodePtr
{
public:
    NodePtr();
    virtual ~NodePtr();
    NodePtr(const NodePtr&) = delete;
    NodePtr& operator=(const NodePtr&) = delete;

    // Gets or creates the node at `path`; false when none can be had.
    bool CreateOrGetNode(const QString& path);
    // Attaches to the node at `path` only when it exists; false otherwise.
    bool GetNode(const QString& path);
    void Reset();

    Node* get() const;
    std::shared_ptr<Node> Lock() const;
    std::shared_ptr<Node> operator->() const { return Lock(); }
    explicit operator bool() const { return get() != nullptr; }
    QString GetName() const;

protected:
    explicit NodePtr(IObserver* owner);

private:
    detail::Attachment m_attachment;
};

class VRXPLATFORM_EXPORT NodeObservingPtr : public NodePtr
{
public:
    explicit NodeObservingPtr(IObserver* owner) : NodePtr(owner) {}
};

} // namespace values

// The host's client handle of the value tree. Values handed to it are kept
// registered for the client's session; nothing is reported back.
class VRXPLATFORM_EXPORT IVtClient
{
public:
    virtual ~IVtClient() = default;
    virtual QString GetName() const = 0;
    virtual void AddValue(values::ValueBase* value, int flags) = 0;
};

// Simple client: remembers the paths of the values handed to it.
class VRXPLATFORM_EXPORT VtClient : public IVtClient
{
public:
    explicit VtClient(const QString& name) : m_name(name) {}
    QString GetName() const override { return m_name; }
    void AddValue(values::ValueBase* value, int flags) override;
    QStringList RegisteredPaths() const;

private:
    QString m_name;
    mutable std::mutex m_mutex;
    QStringList m_paths;
};
