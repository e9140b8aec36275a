// Page menu, adapter choice, language switch and keyboard commands.
#include "app/uf_VYN.h"

#include "app/Panel.h"

void TfVYN::ShowPage(QWidget* Page, bool BringToFront)
{
    if (!Page)
        Page = pnlNone;
    QWidget* parent = Page->parentWidget();
    if (!parent)
        return;
    for (TPanel* child : parent->findChildren<TPanel*>(Qt::FindDirectChildrenOnly)) {
        if (BringToFront)
            child->setEnabled(child == Page);
        else
            child->setVisible(child == Page);
    }
    if (BringToFront)
        Page->raise();
}

void TfVYN::ShowCurrentIP(uint32_t)
{
}

void TfVYN::CloseDevice()
{
    FDeviceLoaded = false;
    UpdateDeviceState();
}

void TfVYN::LMenuClick(QObject*)
{
}
