#include "vcwidgets.h"

GuiCentral& GuiCentral::Instance()
{
    static GuiCentral central;
    return central;
}

QString GuiCentral::CreateUniqueValueSelection()
{
    const QString path = QStringLiteral("/GuiCentral/Selection%1").arg(m_nextId++);
    values::Tree::Instance()->CreateValue<values::ValueSelection>(path);
    return path;
}
