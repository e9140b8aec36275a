#include "app/Panel.h"

#include <QPainter>

TPanel::TPanel(QWidget* parent, const QString& name, const QColor& color)
    : QFrame(parent), FColor(color), FFontColor(palette().color(QPalette::WindowText))
{
    setObjectName(name);
    setFrameShape(QFrame::NoFrame);
}

void TPanel::SetCaption(const QString& value)
{
    FCaption = value;
    update();
}

void TPanel::SetColor(const QColor& value)
{
    FColor = value;
    update();
}

void TPanel::SetFontColor(const QColor& value)
{
    FFontColor = value;
    update();
}

void TPanel::SetAlignment(Qt::Alignment value)
{
    FAlignment = value;
    update();
}

void TPanel::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        if (FColor.isValid())
            painter.fillRect(rect(), FColor);
        if (!FCaption.isEmpty()) {
            const int flags = int(FAlignment) | Qt::TextSingleLine | (FShowMnemonic ? Qt::TextShowMnemonic : 0);
            painter.setPen(FFontColor);
            painter.drawText(contentsRect().adjusted(FCaptionMargin, 0, -FCaptionMargin, 0), flags, FCaption);
        }
    }
    QFrame::paintEvent(event);
}
