#pragma once

// Internal to the platform library: a widget's observation of one value.

#include "values.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace vcdetail {

// Observes one value for a widget. Notifications may arrive on any thread:
// on the widget's thread the refresh runs at once, from any other thread it
// is posted to the widget (coalesced; dropped when the widget dies first,
// because the widget destroys the link, which detaches under the tree lock,
// before its QObject part goes and takes the posted events with it).
class ValueLink : private IObserver
{
public:
    ValueLink(QObject* target, std::function<void()> refresh);
    ~ValueLink() override;
    ValueLink(const ValueLink&) = delete;
    ValueLink& operator=(const ValueLink&) = delete;

    // Binds the value at `path` (unbinding the previous one); false when
    // there is no value there. The path is kept either way.
    bool Bind(const QString& path);
    void Unbind();
    QString Path() const;

    std::shared_ptr<values::ValueBase> Value() const;
    template <typename V>
    std::shared_ptr<V> ValueAs() const
    {
        return std::dynamic_pointer_cast<V>(Value());
    }
    // Bound, present and in state normal.
    bool IsUsable() const;
    // Name this as writer so that the widget is not told of its own writes.
    IObserver* Writer() { return this; }

private:
    void Update(Observable* observable, TChangeCode code) override;
    void Schedule();

    QObject* m_pTarget;
    std::function<void()> m_refresh;
    QString m_strPath;                        // guarded by the tree lock
    std::shared_ptr<values::ValueBase> m_value; // guarded by the tree lock
    std::shared_ptr<std::atomic<bool>> m_pending;
};

} // namespace vcdetail
