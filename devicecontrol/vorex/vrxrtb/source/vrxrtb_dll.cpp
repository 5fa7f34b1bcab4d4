#include "vrxrtb_dll.h"

#include "vorextoolbar.h"

#include <new>

VRXRTB_DLL::VRXRTB_DLL(const QString& name) : IDllInstance(name) {}

VRXRTB_DLL::VRXRTB_DLL(const VRXRTB_DLL& other) : IDllInstance(other) {}

VRXRTB_DLL& VRXRTB_DLL::operator=(const VRXRTB_DLL& other)
{
    IDllInstance::operator=(other);
    return *this;
}

VRXRTB_DLL::~VRXRTB_DLL() = default;

bool VRXRTB_DLL::IsInitialized()
{
    return true;
}

void VRXRTB_DLL::Activate() {}

void VRXRTB_DLL::Deactivate() {}

IVRXRTB* VRXRTB_DLL::CreateToolbar(QWidget* parent, const QString& connectionFirst, const QString& connectionSecond,
                                   IVtClient*& vtClient, const QString& recordNamePrefix, const bool& withPauseButton)
{
    // The instance keeps nothing: the toolbar lives with its parent widget or
    // until the host deletes it through IVRXRTB.
    auto* toolbar = new (std::nothrow)
        VorexGUI::VorexToolbar(parent, connectionFirst, connectionSecond, vtClient, recordNamePrefix, withPauseButton);
    return toolbar;
}

extern "C" {

IDllInstance* ARCreate(const wchar_t* name)
{
    // wchar_t is 16 bits on Windows and 32 bits here.
    QString converted;
    if (name) {
        if (sizeof(wchar_t) == 2)
            converted = QString::fromUtf16(reinterpret_cast<const char16_t*>(name));
        else
            converted = QString::fromUcs4(reinterpret_cast<const char32_t*>(name));
    }
    return new (std::nothrow) VRXRTB_DLL(converted);
}

void ARDestroy(IDllInstance* instance)
{
    delete instance;
}

}
