#include "vorexclient.h"
#include "vorexclient_p.h"

// The one link to the recorder manager that the client objects talk to, and
// the process-wide events every link reports through.

namespace VorexCommon {

RecorderManagerEvents* RecorderManagerEvents::Instance()
{
    static RecorderManagerEvents* events = new RecorderManagerEvents;
    return events;
}

namespace {
std::mutex g_installMutex;
std::shared_ptr<RecorderManagerLink> g_installed;
} // namespace

RecorderManagerLink::~RecorderManagerLink() = default;

void RecorderManagerLink::Install(const std::shared_ptr<RecorderManagerLink>& link)
{
    std::shared_ptr<RecorderManagerLink> previous;
    {
        std::lock_guard<std::mutex> lock(g_installMutex);
        previous = g_installed;
        if (previous == link)
            return;
    }
    const bool wasConnected = previous && previous->IsConnected();
    {
        std::lock_guard<std::mutex> lock(g_installMutex);
        g_installed = link;
    }
    const bool nowConnected = link && link->IsConnected();
    if (wasConnected != nowConnected)
        emit RecorderManagerEvents::Instance()->si_connectionChanged(nowConnected);
    else if (nowConnected)
        emit RecorderManagerEvents::Instance()->si_connectionChanged(true);
}

std::shared_ptr<RecorderManagerLink> RecorderManagerLink::Installed()
{
    std::lock_guard<std::mutex> lock(g_installMutex);
    return g_installed;
}

bool RecorderManagerLink::IsInstalled() const
{
    std::lock_guard<std::mutex> lock(g_installMutex);
    return g_installed.get() == this;
}

std::shared_ptr<VorexConfiguration> currentConfiguration()
{
    auto link = RecorderManagerLink::Installed();
    if (link)
        return std::make_shared<VorexConfiguration>(link->GetSubSystem(), link->GetVorexRootPath());
    return std::make_shared<VorexConfiguration>(QStringLiteral("VOREX"), QStringLiteral("/Vorex"));
}

bool managerConnected()
{
    auto link = RecorderManagerLink::Installed();
    return link && link->IsConnected();
}

} // namespace VorexCommon
