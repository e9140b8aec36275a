#include "app/ufrm_LMenuH.h"

#include "app/uConst.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int BarHeight = 3;
}

TShapeBar::TShapeBar(QWidget* parent, const QString& name)
    : QWidget(parent)
{
    setObjectName(name);
}

void TShapeBar::SetBrushColor(const QColor& value)
{
    FBrushColor = value;
    update();
}

void TShapeBar::SetPenColor(const QColor& value)
{
    FPenColor = value;
    update();
}

void TShapeBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), FPenColor);
    painter.fillRect(rect().adjusted(1, 1, -1, -1), FBrushColor);
}

// The bars take every press and release themselves, so none reaches the
// frame as a second click.
void TShapeBar::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && OnMouseDown)
        OnMouseDown();
}

void TShapeBar::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && OnMouseUp)
        OnMouseUp();
}

TfrmLMenuH::TfrmLMenuH(QWidget* parent)
    : TMenuFrame(parent, QSize(202, 79), 0),
      shpHore(new TShapeBar(this, QStringLiteral("shpHore"))),
      shpDole(new TShapeBar(this, QStringLiteral("shpDole")))
{
    setObjectName(QStringLiteral("frmLMenuH"));
    // Left-aligned, so that leading blanks indent the items under a heading.
    Tlac->SetAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Tlac->SetColor(clLMenuNormal);
    Tlac->SetFontColor(clButtonHover);
    for (TShapeBar* bar : {shpHore, shpDole}) {
        bar->SetBrushColor(clLMenuBar);
        bar->SetPenColor(clLMenuBar);
    }
    shpDole->OnMouseUp = [this] { shpDoleMouseUp(); };
    shpHore->OnMouseDown = [this] { shpHoreMouseDown(); };
}

void TfrmLMenuH::SetSelected(bool value)
{
    FSelected = value;
    FHovered = false;
    if (!value || FInactive) {
        Tlac->SetColor(clLMenuNormal);
        Tlac->SetFontColor(clButtonHover);
    } else {
        Tlac->SetColor(clLMenuSelected);
        Tlac->SetFontColor(clWhite);
    }
    shpDole->SetBrushColor(clLMenuBar);
    shpHore->SetBrushColor(shpDole->BrushColor());
}

void TfrmLMenuH::SetInactive(bool value)
{
    FInactive = value;
    Tlac->setCursor(value ? Qt::ArrowCursor : Qt::PointingHandCursor);
}

void TfrmLMenuH::MouseEnter()
{
    if (FSelected)
        return;
    if (FInactive) {
        SetSelected(false);
        return;
    }
    if (!FHovered) {
        FHovered = true;
        Tlac->SetColor(clLMenuHover);
        shpDole->SetBrushColor(clLMenuHoverBar);
        Tlac->SetFontColor(clButtonHover);
        TakeFocus();
    }
    NotifyMouseEnter();
}

void TfrmLMenuH::MouseLeave()
{
    SetSelected(FSelected);
    FHovered = false;
    NotifyMouseLeave();
}

void TfrmLMenuH::shpDoleMouseUp()
{
    TlacClick();
}

void TfrmLMenuH::shpHoreMouseDown()
{
    TlacClick();
}

void TfrmLMenuH::FrameEnter()
{
    update();
}

void TfrmLMenuH::FrameExit()
{
    SetColor(clFocusFrame);
}

QRect TfrmLMenuH::PanelRect() const
{
    return rect().adjusted(0, BarHeight, 0, -BarHeight);
}

void TfrmLMenuH::resizeEvent(QResizeEvent* event)
{
    TNavFrame::resizeEvent(event);
    shpHore->setGeometry(0, 0, width(), BarHeight);
    shpDole->setGeometry(0, height() - BarHeight, width(), BarHeight);
}
