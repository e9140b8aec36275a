#include "app/ufrm_TlacMenu.h"

#include "app/uConst.h"

TfrmTlacMenu::TfrmTlacMenu(QWidget* parent)
    : TMenuFrame(parent, QSize(115, 11), 0)
{
    setObjectName(QStringLiteral("frmTlacMenu"));
    SetColor(clWhite);
    Tlac->SetFontColor(clWhite);
    Tlac->SetColor(clButtonNormal);
    SetHintAsToolTip(false);
}

void TfrmTlacMenu::SetSelected(bool value)
{
    FSelected = value;
    if (!value) {
        Tlac->SetColor(clButtonNormal);
        Tlac->SetFontColor(clWhite);
    } else {
        Tlac->SetColor(clMenuSelected);
        Tlac->SetFontColor(clButtonHover);
    }
}

void TfrmTlacMenu::MouseEnter()
{
    if (Tlac->Color() != clKeepOnHover) {
        Tlac->SetColor(VisibleOn(clButtonHover, BackdropColor()));
        Tlac->SetFontColor(clWhite);
        TakeFocus();
    }
    NotifyMouseEnter();
}

void TfrmTlacMenu::MouseLeave()
{
    SetSelected(FSelected);
    NotifyMouseLeave();
}

void TfrmTlacMenu::FrameEnter()
{
    SetColor(clFocusFrame);
}

void TfrmTlacMenu::FrameExit()
{
    SetColor(clWhite);
}
