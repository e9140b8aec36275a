#include "app/ufrm_Tlacitko.h"

#include "app/uConst.h"

TfrmTlacitko::TfrmTlacitko(QWidget* parent)
    : TNavFrame(parent, QSize(115, 18), 1)
{
    setObjectName(QStringLiteral("frmTlacitko"));
    SetColor(clWhite);
    Tlac->SetColor(clTlacitkoFace);
    Tlac->SetFontColor(clWhite);
}

void TfrmTlacitko::MouseEnter()
{
    if (Tlac->Color() != clKeepOnHover)
        Tlac->SetColor(VisibleOn(clButtonHover, BackdropColor()));
    TakeFocus();
}

void TfrmTlacitko::MouseLeave()
{
    Tlac->SetColor(VisibleOn(clButtonNormal, BackdropColor()));
}
