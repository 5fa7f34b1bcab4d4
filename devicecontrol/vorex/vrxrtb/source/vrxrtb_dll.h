#pragma once

#include "hostplugin.h"
#include "vrxrtb_global.h"

#include <QString>

class QWidget;
class IVtClient;

class VRXRTB_EXPORT VRXRTB_DLL : public IDllInstance
{
public:
    explicit VRXRTB_DLL(const QString& name);
    VRXRTB_DLL(const VRXRTB_DLL& other);
    VRXRTB_DLL& operator=(const VRXRTB_DLL& other);
    ~VRXRTB_DLL() override;

    bool IsInitialized() override;
    void Activate() override;
    void Deactivate() override;

    virtual IVRXRTB* CreateToolbar(QWidget* parent, const QString& connectionFirst,
                                   const QString& connectionSecond, IVtClient*& vtClient,
                                   const QString& recordNamePrefix, const bool& withPauseButton);
};

extern "C" {
VRXRTB_EXPORT IDllInstance* ARCreate(const wchar_t* name);
VRXRTB_EXPORT void ARDestroy(IDllInstance* instance);
}
