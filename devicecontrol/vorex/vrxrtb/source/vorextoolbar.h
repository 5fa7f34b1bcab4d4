#pragma once

// The recorder toolbar behind every IVRXRTB the plug-in hands to the host: a
// hidden widget that owns the visible QToolBar, its widgets and actions, the
// recorder client objects and the value-tree observers of its channel.

#include "hostplugin.h"
#include "vorexclient.h"
#include "vorextoolbarchannelconnector.h"
#include "vrxrtb_global.h"

#include <QString>

#include <memory>

class QAction;
class QTimer;
class QToolBar;
class VCOneOfButton;
class VCOneOfButtonCombo;
class VCLineEdit;
class DeviceCombo;
class DiscSpaceBar;
class TickCounter;

namespace VorexCommon {
class DeviceHandler;
class ErrorDescriptor;
class GuiToServerAdminCorbaHandler;
class GuiToServerReplayCorbaHandler;
class KernoServerConnectionData;
class VorexGuiToServerCorbaHandler;
} // namespace VorexCommon

namespace VorexGUI {

class ReplayBarWidget;
class VorexServerGUIController;

class VRXRTB_EXPORT VorexToolbar : public VorexToolbarChannelConnector, public IVRXRTB
{
    Q_OBJECT

public:
    typedef VOREX_XML::Admin::RecordReplayMode RecordReplayMode;
    typedef VOREX_XML::Admin::RecordReplayAllModes RecordReplayAllModes;
    typedef VOREX_XML::Admin::ReplayMode ReplayMode;
    typedef VOREX_XML::VOREX_RecordData::DataRate DataRate;

    VorexToolbar(QWidget* parent, const QString& connectionFirst, const QString& connectionSecond, IVtClient*& vtClient,
                 const QString& recordNamePrefix, const bool& withPauseButton);
    ~VorexToolbar() override;

    QSize sizeHint() const override;

    // Binding (also IVRXRTB).
    bool SetChannelId_ValuePath(const QString& path) override;

protected:
    void ResetObservers() override;

private:
    bool AddChannelObservers() override;

public:
    void Update(Observable* observable, TChangeCode code) override;

    // IVRXRTB
    QToolBar* GetVorexToolbar() override;
    void EnableVorexReplay(bool enable) override;
    void EnableVorexToolbar(bool enable) override;
    void SetReplayTime_ValuePath(const QString& path) override;
    void SetFileOpenDialogAllowed(bool allowed) override;
    void SetChannelError(int code) override;
    void Show(bool show) override;
    bool IsChannelConnected() override;
    bool IsDeviceConnected() override;
    QString GetToolbarModeValuePath() override;

    void InitializeToolbarButtons();

    // Texts of the channel error codes (0 gives an empty text).
    static QString ChannelErrorText(int code);

protected slots:
    void Slot_OnOpenFileDialogClicked();
    void Slot_OnShowErrorInformation();
    void sl_connectionEstablished(const QString& name);
    void sl_connectionDisconnected(const QString& name);
    void Slot_OnUpdateRights(const QString& sEvent);
    void slotRemoveCurrentRecord();
    void slotChannelDeleted();
    void slotChannelUpdated();
    void slotRecordChanged();

private slots:
    void SetDuration();
    void slotCurrentRecordDataChanged();
    void slotAnswerOverdue();

private:
    // Construction.
    void createActions();
    void createButtons();
    void createElements();
    void createToolbar();
    void ForgetToolBar();

    // Value-tree bindings.
    void ReassignChannelIdPath(const QString& path);
    void SetSelectionValuePaths();
    void UpdateToolbar();
    void VorexManagerDataAvailable();
    bool AllConnectionsEstablished();
    bool AddReplayFlagObserver();
    bool AddRecordFlagObserver();
    bool AddDataRateClassObserver();
    bool AddAllowedDevicesObserver();
    bool AddDeviceIdObserver();
    bool AddRecordReplayModesObservers();
    bool SetAllowedDevices();
    QString GetFirstDevice();
    bool IsExternalCall();
    // GUI-thread halves of notifications that arrived on another thread.
    void RecordFlagChanged(const bool& value);
    void ReplayFlagChanged(const bool& value);
    void DataRateClassChanged(const QString& text);
    void ValueStateChanged(const std::weak_ptr<values::Node>& node, const int& state);
    enum { kRecordFlagPtr, kReplayFlagPtr, kPauseSupportedPtr, kBindingPtr };
    void ValueReleased(const int& which);

    // Mode state machine.
public:
    void RecordReplayModeValueChanged();
    void RecordReplayAllModesValueChanged(bool fromValueTree);
    void ReplayModeChanged(const ReplayMode& mode);
    void StartCorbaReplay(const DataRate& rate, const int& retries);

private:
    void SynchronizeToolbar(RecordReplayMode mode);
    void SetModeRecordStarting();
    void SetModeRecordStopping();
    void SetModeRecord(bool fromValueTree);
    void SetModeStopped();
    void SetModeStopReplay();
    void SetModeReplayStarting();
    void SetModeReplay();
    void SetModePaused();
    void SetModePauseReplay();
    void SetModeReplayStopping();
    void SetStopped();
    // Selects a mode as the toolbar (it is not told of its own write).
    void SelectModeAsToolbar(RecordReplayMode mode);
    bool IsRecordMode();
    bool IsReplayMode();
    bool IsPauseMode();
    bool IsStopMode();
    bool GetReplayMode(ReplayMode& mode);
    bool IsReplaying();
    bool IsReplayContinousMode();

    // Record and replay requests.
    bool PrepareForReplay(const RecordReplayAllModes& running);
    bool PrepareForContinuousReplay(const RecordReplayAllModes& running);
    bool RefuseReplayDuringRecord(const QString& operation, const RecordReplayAllModes& running);
    bool PrepareForPauseReplay() const;
    bool PrepareForRecord(const RecordReplayAllModes& running, RecordReplayAllModes& target);
    bool PrepareForContinuousRecord(const RecordReplayAllModes& running, RecordReplayAllModes& target);
    bool StopActivity(RecordReplayAllModes& state);
    bool StartNormalRecording(quint32 sizeLimit);
    bool StartContinuousRecording();
    bool StartNormalReplay(int noOfReplays);
    bool StartContinuousReplay();
    DataRate GetValidatedDataRateClass();

    // Enablement.
    void EnableToolbar();
    void DisableToolbar();
    void UpdateToolbarEnabled();
    void SetRecordingAllowed(bool allowed);
    void SetReplayAllowed(bool allowed);
    void StateNormal(Observable* observable);
    void StateDisabled(Observable* observable);
    void SetRecordButton(bool allowed);
    void SetReplayButton(bool allowed);
    void SetOpenFileButton(bool allowed);
    void SetPauseButton();
    void SetStopButton();
    void SetCopyButton();
    void SetHistoryButton();
    void SwitchButtons(bool on);
    bool IsBaseEnabled();

    // Errors.
    void DisplayError();
    void SetStopOnErrorFromServer(const unsigned long& code);
    // A request that will get no answer (no answer in time, connection
    // lost): reported as a refused command, a record start withdrawn, the
    // look of the last confirmed state.
    void FailPendingRequest(quint32 code);
    bool IsWaitingForAnswer() const;

    // Record name, duration and record selection.
    void SetRecordName(const QString& name);
    void SetRecordNameFromVt();
    void EnterRecordName();
    bool CreateOpenFileDialog();
    // Name and duration of the current record, unless a record is being made
    // (it shows the name the new record is made under).
    void ShowCurrentRecord();
    bool IsRecordInProgress();

    QToolBar* m_pToolBar;
    QString m_strDataRateClass;
    QString m_strRecordNamePrefix;
    QString m_strFileSizePath;
    QString m_strRecordIdPath;
    QString m_strRecordFlagPath;
    QString m_strReplayFlagPath;
    QString m_strPauseSupportedPath;
    QString m_strDeviceIdPath;
    QString m_strRecordNamePath;
    QString m_strNoOfReplaysPath;
    QString m_strDataRateClassPath;
    QString m_strAllowedDevicesPath;
    QString m_strModesPath;
    QString m_strAllModesPath;
    QString m_strErrorCodePath;
    QString m_strExternalTriggerPath;
    QString m_strReplayModePath;
    IVtClient* m_pVtClient;
    values::ValueObservingPtr<values::Value<QString>> m_pErrorCode;
    values::ValueObservingPtr<values::Value<QString>> m_pDataRateClass;
    values::ValueObservingPtr<values::Value<QString>> m_pAllowedDevices;
    values::ValueObservingPtr<values::ValueSelection> m_pModes;
    values::ValueObservingPtr<values::ValueSelection> m_pRecordReplayAllModes;
    values::ValueObservingPtr<values::Value<bool>> m_pRecordFlag;
    values::ValueObservingPtr<values::Value<bool>> m_pReplayFlag;
    values::ValueObservingPtr<values::Value<bool>> m_pPauseSupported;
    values::ValueObservingPtr<values::Value<int>> m_pFileSize;
    bool m_bConnected;
    bool m_bRecordingAllowed;
    bool m_bReplayAllowed;
    bool m_bWithPauseButton;
    bool m_bRecordFlagValid;
    bool m_bReplayFlagValid;
    unsigned int m_nRecordTimeout;
    QString m_strRecordName;
    bool m_bToolbarEnabledByFlag;
    bool m_bToolbarEnabledByWorkflow;
    bool m_bToolbarObserversAdded;
    bool m_bOpenFileDialogAllowed;
    QAction* m_pErrorAction;
    QAction* m_pOpenFileAction;
    QAction* m_pHistoryAction;
    VCOneOfButton* m_pStopButton;
    VCOneOfButton* m_pPauseButton;
    VCOneOfButtonCombo* m_pReplayCombo;
    VCOneOfButtonCombo* m_pRecordCombo;
    VCLineEdit* m_pRecordNameEdit;
    DeviceCombo* m_pDeviceCombo;
    DiscSpaceBar* m_pDiscSpaceBar;
    TickCounter* m_pRecordCounter;
    ReplayBarWidget* m_pReplayBar;
    VorexCommon::ErrorDescriptor* m_pErrorDescriptor;
    QString m_channelErrorText;
    QString m_strSubsystem;
    VorexCommon::DeviceHandler* m_pDeviceHandler;
    std::shared_ptr<VorexCommon::KernoServerConnectionData> m_spConnectionData;
    VorexCommon::GuiToServerReplayCorbaHandler* m_pReplayHandler;
    VorexCommon::GuiToServerAdminCorbaHandler* m_pAdminHandler;
    std::shared_ptr<VorexCommon::VorexGuiToServerCorbaHandler> m_spServerHandler;
    VorexServerGUIController* m_pServerGUIController;
    QTimer* m_pAnswerTimer;
    bool m_bRecordKnown; // as the history rule last saw it
};

} // namespace VorexGUI
