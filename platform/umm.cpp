#include "umm.h"

namespace UMM {

ActiveUserProxy* ActiveUserProxy::instance()
{
    static ActiveUserProxy proxy;
    return &proxy;
}

int ActiveUserProxy::GetAccessLevel(const QString& right) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_levels.find(right);
    return it == m_levels.end() ? m_defaultLevel : it->second;
}

void ActiveUserProxy::SetAccessLevel(const QString& right, int level)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_levels[right] = level;
}

void ActiveUserProxy::SetDefaultAccessLevel(int level)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_defaultLevel = level;
}

void ActiveUserProxy::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_levels.clear();
    m_defaultLevel = 1;
}

} // namespace UMM
