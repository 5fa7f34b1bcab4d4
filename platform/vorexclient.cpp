#include "vorexclient.h"

VTHelper& VTHelper::Instance()
{
    static VTHelper helper;
    return helper;
}

bool VTHelper::SafeSetValue(values::ValueSelection* selection, long key, IObserver* writer)
{
    if (!selection)
        return false;
    return selection->SelectIndex(key, writer);
}

namespace {
template <typename T>
void setValueAt(const QString& path, const T& value, IObserver* observer, unsigned short line)
{
    try {
        values::Tree* tree = values::Tree::Instance();
        if (!tree)
            return;
        auto typed = tree->FindValueAs<values::Value<T>>(path);
        if (!typed)
            return;
        typed->Set(value, observer);
    } catch (...) {
        if (ErrorHandler::Instance()->IsTraceOn(ErrorHandler::TraceWarnings))
            _Q_Trace(QStringLiteral("Undefined EXCEPTION in SetValueInternal"), QStringLiteral("platform/vorexclient"), line);
    }
}
} // namespace

template <> void VTHelper::SetValueInternal<int>(const QString& path, int value, IObserver* observer)
{
    setValueAt(path, value, observer, __LINE__);
}

template <> void VTHelper::SetValueInternal<QString>(const QString& path, QString value, IObserver* observer)
{
    setValueAt(path, value, observer, __LINE__);
}

template <> void VTHelper::SetValueInternal<bool>(const QString& path, bool value, IObserver* observer)
{
    setValueAt(path, value, observer, __LINE__);
}
