#pragma once

// Host user management: access levels of named rights for the active user.

#include "platform_export.h"

#include <QString>

#include <map>
#include <mutex>

namespace UMM {

class VRXPLATFORM_EXPORT ActiveUserProxy
{
public:
    static ActiveUserProxy* instance();

    // Level of `right` for the active user; rights never set answer the
    // default level (1 unless changed: the stand-in user may do everything).
    int GetAccessLevel(const QString& right) const;

    void SetAccessLevel(const QString& right, int level);
    void SetDefaultAccessLevel(int level);
    void Clear();

private:
    ActiveUserProxy() = default;
    mutable std::mutex m_mutex;
    std::map<QString, int> m_levels;
    int m_defaultLevel = 1;
};

} // namespace UMM
