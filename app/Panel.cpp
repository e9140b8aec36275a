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
    // A caption against an edge keeps a little distance from it.
    constexpr int Margin = 6;
    {
        QPainter painter(this);
        if (FColor.isValid())
            painter.fillRect(rect(), FColor);
        if (!FCaption.isEmpty()) {
            painter.setPen(FFontColor);
            painter.drawText(contentsRect().adjusted(Margin, 0, -Margin, 0),
                             int(FAlignment) | Qt::TextSingleLine, FCaption);
        }
    }
    QFrame::paintEvent(event);
}
