#include "vorextoolbar.h"
#include "vorextoolbar_p.h"

#include "replaybarwidget.h"
#include "startup.h"
#include "umm.h"
#include "vcwidgets.h"
#include "vorexgui.h"
#include "vorexpictures.h"
#include "vorexwidgets.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QMessageBox>
#include <QPixmap>
#include <QToolBar>
#include <QToolButton>

#define VRX_TRACE_SOURCE "devicecontrol/vorex/vrxrtb/source/vorextoolbar"
#include "vorextrace.h"

using VorexCommon::DeviceHandler;
using VorexCommon::ErrorDescriptor;
using VorexCommon::GuiToServerAdminCorbaHandler;
using VorexCommon::GuiToServerReplayCorbaHandler;
using VorexCommon::KernoServerConnectionData;
using VorexCommon::UserRights;
using VorexCommon::VorexGuiToServerCorbaHandler;

namespace VorexGUI {

using namespace ToolbarDetail;

// ---------------------------------------------------------------------------
// Record name, duration and record selection
// ---------------------------------------------------------------------------

void VorexToolbar::SetRecordName(const QString& name)
{
    if (!m_pRecordNameEdit)
        return;
    m_pRecordNameEdit->SetText(name);
    VRX_TRACE_FLOW(QStringLiteral("SetRecordNameT :: >>> %1 <<<").arg(name));
    m_pRecordNameEdit->setToolTip(name.isEmpty() ? tr("File name of selected replay") : name);
}

void VorexToolbar::SetRecordNameFromVt()
{
    if (auto name = values::Tree::Instance()->FindValueAs<values::Value<QString>>(m_strRecordNamePath))
        SetRecordName(name->Get());
}

// Asking for the name of a new recording and the record selection dialog
// come with record naming; until then nothing is asked.
void VorexToolbar::EnterRecordName() {}

bool VorexToolbar::CreateOpenFileDialog()
{
    return false;
}

} // namespace VorexGUI
