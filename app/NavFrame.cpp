#include "app/NavFrame.h"

#include "lang/ControlProperties.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

namespace {

// A left click is a press and a release of the left button inside the
// widget; releasing outside cancels it, as with any button.
bool IsClickEnd(const QWidget* widget, const QMouseEvent* event, bool& pressed)
{
    const bool wasPressed = pressed;
    pressed = false;
    return wasPressed && event->button() == Qt::LeftButton && widget->rect().contains(event->position().toPoint());
}

} // namespace

TTlacPanel::TTlacPanel(QWidget* parent)
    : TPanel(parent, QStringLiteral("Tlac"))
{
    FCaptionMargin = 4;
    FShowMnemonic = true;
    SetCaption(QStringLiteral("?"));
    setCursor(Qt::PointingHandCursor);
    // The frame owns the caption and the hint; language files carry them
    // once, on the frame.
    setProperty(ShowsParentTextsProperty, true);
}

void TTlacPanel::SetHint(const QString& value)
{
    FHint = value;
    UpdateToolTip();
}

void TTlacPanel::SetShowHint(bool value)
{
    FShowHint = value;
    UpdateToolTip();
}

void TTlacPanel::UpdateToolTip()
{
    setToolTip(FShowHint ? FHint : QString());
}

void TTlacPanel::mousePressEvent(QMouseEvent* event)
{
    FPressed = event->button() == Qt::LeftButton;
    event->accept();
}

void TTlacPanel::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (IsClickEnd(this, event, FPressed) && OnClick)
        OnClick(this);
}

TNavFrame::TNavFrame(QWidget* parent, QSize designSize, int panelInset)
    : QFrame(parent), Tlac(new TTlacPanel(this)), FDesignSize(designSize), FPanelInset(panelInset)
{
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);
    Tlac->OnClick = [this](QObject*) { TlacClick(); };
    resize(designSize);
}

void TNavFrame::SetHint(const QString& value)
{
    FHint = value;
    const bool show = !value.isEmpty() && FHintAsToolTip;
    setToolTip(show ? value : QString());
    Tlac->SetHint(value);
    Tlac->SetShowHint(show);
}

void TNavFrame::SetHintAsToolTip(bool value)
{
    FHintAsToolTip = value;
    SetHint(FHint);
}

QColor TNavFrame::BackdropColor() const
{
    for (const QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (const auto* panel = qobject_cast<const TPanel*>(w); panel && panel->Color().isValid())
            return panel->Color();
        if (w->autoFillBackground() || w->isWindow())
            return w->palette().color(QPalette::Window);
    }
    return QColor();
}

bool TNavFrame::TabStop() const
{
    return (focusPolicy() & Qt::TabFocus) != 0;
}

void TNavFrame::SetTabStop(bool value)
{
    setFocusPolicy(value ? Qt::StrongFocus : Qt::NoFocus);
}

void TNavFrame::SetColor(const QColor& value)
{
    FColor = value;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, value);
    setPalette(pal);
}

void TNavFrame::TlacClick()
{
    if (OnClick)
        OnClick(this);
    emit clicked();
}

void TNavFrame::TakeFocus()
{
    if (TabStop())
        setFocus(Qt::MouseFocusReason);
}

QRect TNavFrame::PanelRect() const
{
    return rect().adjusted(FPanelInset, FPanelInset, -FPanelInset, -FPanelInset);
}

void TNavFrame::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    Tlac->setGeometry(PanelRect());
}

void TNavFrame::mousePressEvent(QMouseEvent* event)
{
    FPressed = event->button() == Qt::LeftButton;
    event->accept();
}

void TNavFrame::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (IsClickEnd(this, event, FPressed))
        TlacClick();
}

void TNavFrame::enterEvent(QEnterEvent* event)
{
    QFrame::enterEvent(event);
    MouseEnter();
}

void TNavFrame::leaveEvent(QEvent* event)
{
    QFrame::leaveEvent(event);
    MouseLeave();
}

void TNavFrame::focusInEvent(QFocusEvent* event)
{
    QFrame::focusInEvent(event);
    FrameEnter();
}

void TNavFrame::focusOutEvent(QFocusEvent* event)
{
    QFrame::focusOutEvent(event);
    FrameExit();
}
