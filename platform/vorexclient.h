#pragma once

// Recorder client library.

#include "base.h"
#include "platform_export.h"
#include "values.h"

#include <QString>

// Value-tree helper of the recorder client library.
class VRXPLATFORM_EXPORT VTHelper
{
public:
    static VTHelper& Instance();

    // Selects `key` in `selection` from any thread; `writer` is not notified
    // (null notifies every observer). False for a null selection or a key the
    // selection does not offer.
    bool SafeSetValue(values::ValueSelection* selection, long key, IObserver* writer);

    // Posts SetValueInternal<T> into the GUI thread. Defined beside the
    // main-thread call events that carry it.
    template <typename T>
    void SetValue(const QString& path, T value, IObserver* observer);

    // Sets the value of type T at `path`; a missing path or a value of
    // another type is ignored silently.
    template <typename T>
    void SetValueInternal(const QString& path, T value, IObserver* observer);

private:
    VTHelper() = default;
};

template <> void VTHelper::SetValueInternal<int>(const QString&, int, IObserver*);
template <> void VTHelper::SetValueInternal<QString>(const QString&, QString, IObserver*);
template <> void VTHelper::SetValueInternal<bool>(const QString&, bool, IObserver*);
