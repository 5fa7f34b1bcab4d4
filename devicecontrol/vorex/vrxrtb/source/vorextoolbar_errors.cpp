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
// Errors
// ---------------------------------------------------------------------------

// Error codes of the channel and manager refusals are shown once error
// reporting is in place.
void VorexToolbar::DisplayError() {}
void VorexToolbar::SetStopOnErrorFromServer(const unsigned long& /*code*/) {}

} // namespace VorexGUI
