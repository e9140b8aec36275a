// Page menu, adapter choice, language switch and keyboard commands.
#include "app/uf_VYN.h"

#include "app/MyUtils.h"
#include "app/Panel.h"
#include "app/ufrm_LMenuH.h"

#include <QLabel>

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

void TfVYN::ShowCurrentIP(uint32_t IP)
{
    if (!lblCurrentIP)
        return;
    // The caption up to its colon is the translated part.
    const QString caption = lblCurrentIP->text();
    const qsizetype colon = caption.indexOf(u':');
    const QString prefix = colon >= 0 ? caption.left(colon + 1) : QString();
    if (FDevIP != 0) {
        lblCurrentIP->setText(prefix + QLatin1Char(' ') + IPAddrToStr(IP));
        lblCurrentIP->show();
    } else {
        lblCurrentIP->setText(prefix);
        lblCurrentIP->hide();
    }
}

void TfVYN::CloseDevice()
{
    FDeviceLoaded = false;
    UpdateDeviceState();
}

void TfVYN::LMenuClick(QObject* Sender)
{
    auto* item = qobject_cast<TfrmLMenuH*>(Sender);
    if (!item || item->Inactive())
        return;
    SelectLMenu(item);
    pnlSettingsHold->show();
    pnlSettingsCaption->SetCaption(item->GetCaption());
    for (const auto& [menu, page] : MenuPages())
        if (menu == item) {
            ShowPage(page, true);
            return;
        }
}
