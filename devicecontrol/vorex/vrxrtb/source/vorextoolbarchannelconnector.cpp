#include "vorextoolbarchannelconnector.h"

#include "runinmainthreadevent.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

#define VRX_TRACE_SOURCE "devicecontrol/vorex/vrxrtb/source/vorextoolbarchannelconnector"
#include "vorextrace.h"

namespace VorexGUI {

namespace {
const QString kDeviceIdKey = QStringLiteral("DeviceID");
const QString kRecordIdKey = QStringLiteral("RecordID");
const QString kReplayModeKey = QStringLiteral("ReplayMode");

bool IsNormal(const values::ValueBase* value)
{
    return value && value->GetState() == values::eStateNormal;
}
} // namespace

VorexToolbarChannelConnector::VorexToolbarChannelConnector(QWidget* parent, IVorexGUIController* controller)
    : QWidget(parent)
    , m_replayModeSelection(this)
    , m_recordIdValue(this)
    , m_deviceIdValue(this)
    , m_bObserversAdded(false)
    , m_channelNode(this)
    , m_channelAncestor(this)
    , m_lastReplayModeKey(0)
    , m_pController(controller)
{
}

VorexToolbarChannelConnector::~VorexToolbarChannelConnector()
{
    // Only this class's part is still alive here.
    VorexToolbarChannelConnector::ResetObservers();
    // Detached now, so nothing new is posted; what is queued must not run.
    ThreadingHelper::ThreadSwitchingAdministration::NotifyObjectDestroyed(this);
}

bool VorexToolbarChannelConnector::InGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

bool VorexToolbarChannelConnector::SetChannelId_ValuePath(const QString& path)
{
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbarChannelConnector::SetChannelId_ValuePath %1").arg(path));
    if (path == m_channelPath)
        return true;

    ResetObservers();
    m_channelNode.CreateOrGetNode(path);
    if (!m_channelNode) {
        VRX_TRACE_WARNING(QStringLiteral("SetChannelId_ValuePath: Node for path %1 could not be determined").arg(path));
        return false;
    }
    // The node pointer observes the node on behalf of this connector.
    const QString name = m_channelNode.GetName();
    if (name.isEmpty())
        return false;

    m_channelPath = path;
    m_channelId = name;
    return AddChannelObservers();
}

void VorexToolbarChannelConnector::SetGUIController(IVorexGUIController* controller, const QString& subSystem)
{
    m_pController = controller;
    m_subSystem = subSystem;
    ActivateDevice(m_deviceId);
}

IVorexGUIController* VorexToolbarChannelConnector::GetGUIController()
{
    return m_pController;
}

vorex::RecordIdentifier VorexToolbarChannelConnector::GetCurrentRecordIdentifier() const
{
    return vorex::RecordIdentifier(m_subSystem, m_deviceId, m_recordId);
}

std::shared_ptr<VOREX_XML::VOREX_RecordData> VorexToolbarChannelConnector::GetCurrentRecordData()
{
    if (!m_recordMap)
        ActivateDevice(m_deviceId);
    const vorex::RecordIdentifier id = GetCurrentRecordIdentifier();
    if (m_recordMap && m_recordMap->HasRecord(id))
        return m_recordMap->GetRecordData(id);

    VorexCommon::ErrorDescriptor().WriteCommandResponse(VorexCommon::ErrorDescriptor::WARNING, m_channelPath, QStringLiteral("GetCurrentRecordData"),
                                           VorexCommon::ToolbarHelper::ErrorId2Text(250, 0));
    return nullptr;
}

bool VorexToolbarChannelConnector::HasCurrentRecord()
{
    if (m_deviceId.isEmpty() || m_recordId.isEmpty())
        return false;
    if (!m_recordMap)
        ActivateDevice(m_deviceId);
    return m_recordMap && m_recordMap->HasRecord(GetCurrentRecordIdentifier());
}

VorexCommon::AbstractRecordListModel* VorexToolbarChannelConnector::GetRecordMap()
{
    if (!m_recordMap)
        ActivateDevice(m_deviceId);
    if (!m_recordMap)
        VorexCommon::ErrorDescriptor().WriteCommandResponse(VorexCommon::ErrorDescriptor::WARNING, m_channelPath,
                                               QStringLiteral("VorexToolbarChannelConnector"),
                                               VorexCommon::ToolbarHelper::ErrorId2Text(250, 0));
    return m_recordMap;
}

void VorexToolbarChannelConnector::SetDeviceId(const QString& deviceId)
{
    if (deviceId == m_deviceId)
        return;
    if (!m_deviceId.isEmpty() && !m_recordId.isEmpty())
        emit signalRecordChanging();
    m_deviceId = deviceId;
    if (auto value = m_deviceIdValue.Lock())
        value->Set(m_deviceId, this);
    ActivateDevice(m_deviceId);
    emit signalDeviceChanged();
}

void VorexToolbarChannelConnector::SetRecordId(const QString& recordId)
{
    if (recordId == m_recordId)
        return;
    if (!m_recordId.isEmpty())
        emit signalRecordChanging();
    m_recordId = recordId;
    if (auto value = m_recordIdValue.Lock())
        value->Set(m_recordId, this);
    emit signalRecordChanged();
    ReportSelectedRecord(true);
}

void VorexToolbarChannelConnector::DisconnectRecordMap()
{
    if (m_recordMap)
        m_recordMap->disconnect(this);
    m_recordMap = nullptr;
}

void VorexToolbarChannelConnector::ActivateDevice(const QString& deviceId)
{
    if (!m_pController) {
        DisconnectRecordMap();
        return;
    }
    m_deviceId = deviceId;
    if (m_deviceId.isEmpty()) {
        m_pController->sl_activeDeviceChanged(QList<ActiveDevice>());
    } else {
        const ActiveDevice device(m_deviceId, m_subSystem);
        const QList<ActiveDevice> active = m_pController->activeDevices();
        if (!(active.size() == 1 && active.first() == device))
            m_pController->sl_activeDeviceChanged(QList<ActiveDevice>{device});
    }

    VorexCommon::AbstractRecordListModel* model = m_pController->recordListModel();
    if (model == m_recordMap)
        return;
    DisconnectRecordMap();
    m_recordMap = model;
    if (!model)
        return;
    connect(model, SIGNAL(si_recordChanged(vorex::RecordIdentifier,bool)), this, SLOT(sl_recordChanged(vorex::RecordIdentifier)));
    connect(model, SIGNAL(si_recordDeleted(vorex::RecordIdentifier)), this, SLOT(sl_recordDeleted(vorex::RecordIdentifier)));
    connect(model, SIGNAL(si_allRecordsChanged()), this, SLOT(sl_allRecordsChanged()));
    connect(model, SIGNAL(destroyed()), this, SLOT(sl_recordMapDeleted()));
}

void VorexToolbarChannelConnector::ChannelDeleted()
{
    ResetObservers();
    m_recordId.clear();
    m_deviceId.clear();
    m_channelId.clear();
    ReportSelectedRecord(false);
    emit signalChannelDeleted();
    // Posted: the tree is still taking the node apart.
    VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbarChannelConnector::WatchForChannelNode);
}

void VorexToolbarChannelConnector::WatchForChannelNode()
{
    m_channelAncestor.Reset();
    if (m_channelPath.isEmpty() || m_channelNode)
        return;
    if (values::Tree::Instance()->FindNode(m_channelPath)) {
        // Built again: bound as at start-up, through a channel update.
        if (m_channelNode.GetNode(m_channelPath))
            ChannelNodeChanged();
        return;
    }
    QString path = m_channelPath;
    while (!path.isEmpty()) {
        path = path.left(std::max(0, path.lastIndexOf(QLatin1Char('/'))));
        if (m_channelAncestor.GetNode(path.isEmpty() ? QStringLiteral("/") : path))
            return;
    }
}

void VorexToolbarChannelConnector::ResetObservers()
{
    m_bObserversAdded = false;
    m_channelAncestor.Reset();
    m_channelNode.Reset();
    m_deviceIdValue.Reset();
    m_recordIdValue.Reset();
    m_replayModeSelection.Reset();
}

bool VorexToolbarChannelConnector::AddChannelObservers()
{
    if (m_bObserversAdded)
        return true;

    // A channel the manager deleted and built again: without watching the
    // new node its next deletion would go unnoticed, and the values it took
    // along would stay bound.
    if (!m_channelNode && !m_channelPath.isEmpty() && m_channelNode.GetNode(m_channelPath))
        m_channelId = m_channelNode.GetName();

    if (!m_deviceIdValue)
        m_deviceIdValue.Set(m_channelPath + QLatin1Char('/') + kDeviceIdKey);
    if (auto device = m_deviceIdValue.Lock(); IsNormal(device.get())) {
        m_deviceId = device->Get();
        if (!m_deviceId.isEmpty())
            ActivateDevice(m_deviceId);
    } else {
        m_deviceId.clear();
    }

    if (!m_recordIdValue)
        m_recordIdValue.Set(m_channelPath + QLatin1Char('/') + kRecordIdKey);
    if (auto record = m_recordIdValue.Lock(); IsNormal(record.get())) {
        m_recordId = record->Get();
        ReportSelectedRecord(true);
    } else {
        m_recordId.clear();
        ReportSelectedRecord(false);
    }

    if (!m_replayModeSelection)
        m_replayModeSelection.Set(m_channelPath + QLatin1Char('/') + kReplayModeKey);

    m_bObserversAdded = IsNormal(m_deviceIdValue.Lock().get()) && IsNormal(m_recordIdValue.Lock().get())
        && IsNormal(m_replayModeSelection.Lock().get());
    return m_bObserversAdded;
}

void VorexToolbarChannelConnector::ReportSelectedRecord(bool withCurrentRecord)
{
    // Without a controller there is nobody to tell.
    if (!m_pController)
        return;
    vorex::RecordIdentifierList records;
    if (withCurrentRecord)
        records << GetCurrentRecordIdentifier();
    m_pController->sl_selectedRecordsChanged(records);
}

void VorexToolbarChannelConnector::Update(Observable* observable, TChangeCode code)
{
    if (!observable)
        return;
    // On another thread only the identity checks and the reading of the new
    // content happen here; the rest is carried into the GUI thread. A value
    // that is going away is never handed on.
    const bool inGuiThread = InGuiThread();
    try {
        switch (code) {
        case VC_VALUECHANGED:
            if (observable == m_deviceIdValue.get()) {
                auto value = m_deviceIdValue.Lock();
                const QString deviceId = value ? value->Get() : QString();
                if (inGuiThread)
                    SetDeviceId(deviceId);
                else
                    VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbarChannelConnector::DeviceIdValueChanged, deviceId);
            } else if (observable == m_recordIdValue.get()) {
                auto value = m_recordIdValue.Lock();
                const QString recordId = value ? value->Get() : QString();
                if (inGuiThread)
                    SetRecordId(recordId);
                else
                    VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbarChannelConnector::RecordIdValueChanged, recordId);
            } else if (observable == m_channelNode.get()) {
                if (inGuiThread)
                    ChannelNodeChanged();
                else
                    VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbarChannelConnector::ChannelNodeChanged);
            } else if (observable == m_channelAncestor.get()) {
                // Something below it came or went; never rebound from
                // inside the tree's own notification.
                VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbarChannelConnector::WatchForChannelNode);
            } else if (observable == m_replayModeSelection.get()) {
                if (auto selection = m_replayModeSelection.Lock()) {
                    const quint8 key = static_cast<quint8>(selection->GetCurrentKey() & 0xff);
                    if (inGuiThread)
                        ReplayModeKeyChanged(key);
                    else
                        VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbarChannelConnector::ReplayModeKeyChanged, key);
                }
            }
            break;
        case VC_DELETING:
            VRX_TRACE_WARNING(QStringLiteral("VorexToolbarChannelConnector::Update:VC_DELETING"));
            if (observable == m_channelNode.get()) {
                if (inGuiThread)
                    ChannelDeleted();
                else
                    VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbarChannelConnector::ChannelDeleted);
            } else if (observable == m_channelAncestor.get()) {
                VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbarChannelConnector::WatchForChannelNode);
            }
            break;
        case VC_STATECHANGED:
            try {
                auto* value = dynamic_cast<values::ValueBase*>(observable);
                if (value && value->GetState() == values::eStateInvalid) {
                    if (observable == m_recordIdValue.get()) {
                        if (inGuiThread)
                            RecordIdInvalidated();
                        else
                            VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbarChannelConnector::RecordIdInvalidated);
                    } else if (observable == m_deviceIdValue.get()) {
                        if (inGuiThread)
                            DeviceIdInvalidated();
                        else
                            VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbarChannelConnector::DeviceIdInvalidated);
                    } else if (observable == m_replayModeSelection.get()) {
                        if (inGuiThread)
                            ReplayModeInvalidated();
                        else
                            VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbarChannelConnector::ReplayModeInvalidated);
                    }
                }
            } catch (...) {
                VRX_TRACE_WARNING(QStringLiteral("!!! Unexpected Exception in VorexToolbarChannelConnector::Update (VC_STATECHANGED) !!!"));
            }
            break;
        default:
            break;
        }
    } catch (...) {
        VRX_TRACE_WARNING(QStringLiteral("!!! Unknown Exception caught in VorexToolbarChannelConnector::Update"));
    }
}

void VorexToolbarChannelConnector::ChannelNodeChanged()
{
    AddChannelObservers();
    emit signalChannelUpdated();
}

void VorexToolbarChannelConnector::ReplayModeKeyChanged(const quint8& key)
{
    if (key == m_lastReplayModeKey)
        return;
    m_lastReplayModeKey = key;
    emit signalRecordDataUpdated();
}

// A change that is no longer the value's content was overtaken: the newer
// change is handled by its own notification (queued behind this one, or
// already handled in the GUI thread). Adopting the older ID would write it
// back over the newer one.
void VorexToolbarChannelConnector::DeviceIdValueChanged(const QString& deviceId)
{
    auto value = m_deviceIdValue.Lock();
    if (!value || value->Get() != deviceId)
        return;
    SetDeviceId(deviceId);
}

void VorexToolbarChannelConnector::RecordIdValueChanged(const QString& recordId)
{
    auto value = m_recordIdValue.Lock();
    if (!value || value->Get() != recordId)
        return;
    SetRecordId(recordId);
}

// An invalid value lets go of its pointer, so the observers are no longer
// all added: the next AddChannelObservers binds it again once it is usable.
// (Posted, the call may find it rebound and normal already; then its content
// was adopted by that binding.)
void VorexToolbarChannelConnector::DeviceIdInvalidated()
{
    if (IsNormal(m_deviceIdValue.Lock().get()))
        return;
    m_bObserversAdded = false;
    m_deviceId.clear();
}

void VorexToolbarChannelConnector::RecordIdInvalidated()
{
    if (IsNormal(m_recordIdValue.Lock().get()))
        return;
    m_bObserversAdded = false;
    m_recordId.clear();
    ReportSelectedRecord(false);
}

void VorexToolbarChannelConnector::ReplayModeInvalidated()
{
    if (!IsNormal(m_replayModeSelection.Lock().get()))
        m_bObserversAdded = false;
}

void VorexToolbarChannelConnector::sl_recordChanged(vorex::RecordIdentifier recordID)
{
    if (recordID.recordID() == m_recordId && recordID.deviceID() == m_deviceId)
        emit signalRecordDataUpdated();
}

void VorexToolbarChannelConnector::sl_recordDeleted(vorex::RecordIdentifier recordID)
{
    if (recordID.recordID() != m_recordId || recordID.deviceID() != m_deviceId)
        return;
    DropCurrentRecord(true);
}

// The whole list was loaded again (device changed, connection lost or
// back). Left as it was, the channel's RecordID value would still name a
// record that the connector had dropped, and a returning connection would
// never bring it back.
void VorexToolbarChannelConnector::sl_allRecordsChanged()
{
    AdoptRecordFromValue();
    if (HasCurrentRecord()) {
        emit signalRecordDataUpdated();
        return;
    }
    // A list without the manager behind it says nothing about the record:
    // the value keeps it for the connection's return.
    const bool fromManager = m_recordMap && m_recordMap->IsLoaded();
    auto value = m_recordIdValue.Lock();
    const bool valueNamesOne = IsNormal(value.get()) && !value->Get().isEmpty();
    if (!m_recordId.isEmpty() || (fromManager && valueNamesOne))
        DropCurrentRecord(fromManager);
}

void VorexToolbarChannelConnector::AdoptRecordFromValue()
{
    auto value = m_recordIdValue.Lock();
    if (!IsNormal(value.get()) || m_deviceId.isEmpty())
        return;
    const QString recordId = value->Get();
    if (recordId.isEmpty() || recordId == m_recordId || !m_recordMap
        || !m_recordMap->HasRecord(vorex::RecordIdentifier(m_subSystem, m_deviceId, recordId)))
        return;
    // As any change of the current record: a record still held (the value
    // moved on while its notification waits) is left properly.
    SetRecordId(recordId);
}

void VorexToolbarChannelConnector::DropCurrentRecord(bool alsoFromValue)
{
    m_recordId.clear();
    if (alsoFromValue) {
        auto value = m_recordIdValue.Lock();
        if (IsNormal(value.get()) && !value->Get().isEmpty())
            value->Set(QString(), this);
    }
    ReportSelectedRecord(false);
    emit signalRecordRemoved();
}

void VorexToolbarChannelConnector::sl_recordMapDeleted()
{
    VRX_TRACE_WARNING(QStringLiteral("VorexToolbarChannelConnector:: warning RecordMap been deleted"));
    m_recordMap = nullptr;
}

} // namespace VorexGUI
