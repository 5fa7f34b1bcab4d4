#pragma once

// Host value-bound widget library.

#include "platform_export.h"
#include "values.h"

#include <QString>

#include <atomic>

class VRXPLATFORM_EXPORT GuiCentral
{
public:
    static GuiCentral& Instance();

    // Creates a selection under a new unique path and returns that path.
    QString CreateUniqueValueSelection();

private:
    GuiCentral() = default;
    std::atomic<unsigned> m_nextId{1};
};
