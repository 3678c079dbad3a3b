#include "windows/guiinteraction.h"

#include "controls/messagebox.h"
#include "windows/selcompanytype.h"

namespace bankprep {

bool GuiInteraction::askInformation(const QString& text)
{
    return MessageBox::information(m_parent, QStringLiteral("Information"), text,
                                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void GuiInteraction::notice(const QString& text)
{
    MessageBox::notice(m_parent, text);
}

int GuiInteraction::pickCompanyType()
{
    return m_picker ? Modal::exec(m_picker) : 2;
}

} // namespace bankprep
