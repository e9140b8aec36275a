#include "link/uf_DataSender_Icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <numbers>

namespace {

QPixmap blank(int w, int h)
{
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    return pm;
}

void prepare(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
}

// A round badge with a light top-left, the base of the information,
// question and error signs.
void badge(QPainter& p, const QColor& light, const QColor& dark)
{
    QRadialGradient g(QPointF(12, 10), 20);
    g.setColorAt(0, light);
    g.setColorAt(1, dark);
    p.setPen(QPen(dark.darker(140), 1.2));
    p.setBrush(g);
    p.drawEllipse(QRectF(2, 2, 28, 28));
}

// A stroke drawn twice, dark and wide under light and narrow, so the mark
// stands out on any background.
void outlinedStroke(QPainter& p, const QPainterPath& path, const QColor& color, qreal width)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(color.darker(170), width + 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

void drawInformation(QPainter& p)
{
    badge(p, QColor(0x8c, 0xc4, 0xff), QColor(0x1d, 0x5f, 0xb0));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 9.5), 2.3, 2.3);
    p.drawRoundedRect(QRectF(14.2, 13.5, 3.6, 11.5), 1.2, 1.2);
}

void drawWarning(QPainter& p)
{
    QPainterPath triangle;
    triangle.moveTo(16, 2.5);
    triangle.lineTo(30, 28.5);
    triangle.lineTo(2, 28.5);
    triangle.closeSubpath();
    QLinearGradient g(0, 2, 0, 29);
    g.setColorAt(0, QColor(0xff, 0xe8, 0x6b));
    g.setColorAt(1, QColor(0xf0, 0xb4, 0x00));
    p.setPen(QPen(QColor(0x8a, 0x62, 0x00), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(triangle);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x20, 0x20, 0x20));
    QPainterPath bar;
    bar.moveTo(14.3, 10.5);
    bar.lineTo(17.7, 10.5);
    bar.lineTo(16.8, 21);
    bar.lineTo(15.2, 21);
    bar.closeSubpath();
    p.drawPath(bar);
    p.drawEllipse(QPointF(16, 24.3), 1.8, 1.8);
}

void drawError(QPainter& p)
{
    badge(p, QColor(0xff, 0x8a, 0x80), QColor(0xb7, 0x1c, 0x1c));
    p.setPen(QPen(Qt::white, 3.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 11), QPointF(21, 21));
    p.drawLine(QPointF(21, 11), QPointF(11, 21));
}

void drawQuestion(QPainter& p)
{
    badge(p, QColor(0x9f, 0xd0, 0xff), QColor(0x22, 0x6a, 0xc0));
    QPainterPath hook;
    hook.moveTo(11.5, 12);
    hook.arcTo(QRectF(11.5, 6.5, 9, 9), 180, -270);
    hook.lineTo(16, 18.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 24), 2, 2);
}

void drawCross(QPainter& p)
{
    QPainterPath x;
    x.moveTo(7, 7);
    x.lineTo(25, 25);
    x.moveTo(25, 7);
    x.lineTo(7, 25);
    outlinedStroke(p, x, QColor(0xe5, 0x39, 0x35), 5);
}

void drawTick(QPainter& p)
{
    QPainterPath tick;
    tick.moveTo(6, 17);
    tick.lineTo(13, 24);
    tick.lineTo(26, 8);
    outlinedStroke(p, tick, QColor(0x3c, 0xb0, 0x4a), 5);
}

} // namespace

QPixmap DataSenderIcon(int Index)
{
    if (Index < 0 || Index >= DataSenderIconCount)
        return QPixmap();
    QPixmap pm = blank(DataSenderIconSize, DataSenderIconSize);
    QPainter p(&pm);
    prepare(p);
    switch (Index) {
    case iconInformation: drawInformation(p); break;
    case iconWarning: drawWarning(p); break;
    case iconError: drawError(p); break;
    case iconQuestion: drawQuestion(p); break;
    case iconCross: drawCross(p); break;
    default: drawTick(p); break;
    }
    return pm;
}

QPixmap DataSenderGlobe()
{
    QPixmap pm = blank(28, 31);
    QPainter p(&pm);
    prepare(p);
    const QRectF globe(3, 1, 22, 22);

    // The cable first, so the globe covers its end; a plug at the bottom.
    QPainterPath cable;
    cable.moveTo(14, 20);
    cable.cubicTo(14, 27, 6, 23, 7, 27.5);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cable);
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 0.8));
    p.setBrush(QColor(0xc8, 0xc8, 0xc8));
    p.drawRoundedRect(QRectF(3.5, 26.5, 7, 4), 1, 1);

    QRadialGradient sea(QPointF(10, 7), 18);
    sea.setColorAt(0, QColor(0x9e, 0xd8, 0xff));
    sea.setColorAt(1, QColor(0x15, 0x5c, 0xb0));
    p.setPen(QPen(QColor(0x0e, 0x3d, 0x75), 1));
    p.setBrush(sea);
    p.drawEllipse(globe);

    QPainterPath clip;
    clip.addEllipse(globe.adjusted(0.5, 0.5, -0.5, -0.5));
    p.save();
    p.setClipPath(clip);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4c, 0xaf, 0x50));
    p.drawEllipse(QRectF(5, 5, 8, 6));
    p.drawEllipse(QRectF(9, 9, 5, 9));
    p.drawEllipse(QRectF(16, 4, 7, 5));
    p.drawEllipse(QRectF(17, 12, 6, 7));
    // Meridians and parallels.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 110), 0.7));
    p.drawEllipse(QRectF(9, 1, 10, 22));
    p.drawLine(QPointF(14, 1), QPointF(14, 23));
    p.drawLine(QPointF(3, 12), QPointF(25, 12));
    p.drawLine(QPointF(5, 6.5), QPointF(23, 6.5));
    p.drawLine(QPointF(5, 17.5), QPointF(23, 17.5));
    p.restore();
    return pm;
}

// ---------------------------------------------------------------- animation

TSearchAnimation::TSearchAnimation(QWidget* parent) : QWidget(parent)
{
    setFixedSize(DataSenderIconSize, DataSenderIconSize);
    setAttribute(Qt::WA_TranslucentBackground);
    m_timer.setInterval(FrameMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
}

void TSearchAnimation::Play()
{
    if (m_timer.isActive())
        return;
    m_clock.start();
    m_timer.start();
}

void TSearchAnimation::Stop()
{
    m_timer.stop();
    m_clock.invalidate();
    update();
}

int TSearchAnimation::Frame() const
{
    return m_clock.isValid() ? int((m_clock.elapsed() / FrameMs) % FrameCount) : 0;
}

void TSearchAnimation::Tick()
{
    if (Frame() != m_painted && isVisible())
        repaint();
}

void TSearchAnimation::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    prepare(p);

    // The computer.
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(QColor(0xd0, 0xd0, 0xd0));
    p.drawRoundedRect(QRectF(3.5, 5.5, 21, 15), 1.5, 1.5);
    QLinearGradient screen(0, 7, 0, 19);
    screen.setColorAt(0, QColor(0x6f, 0xb8, 0xf0));
    screen.setColorAt(1, QColor(0x1f, 0x5f, 0xa8));
    p.setPen(Qt::NoPen);
    p.setBrush(screen);
    p.drawRect(QRectF(5.5, 7.5, 17, 11));
    p.setBrush(QColor(0x90, 0x90, 0x90));
    p.drawRect(QRectF(11.5, 20.5, 5, 3));
    p.drawRoundedRect(QRectF(7.5, 23.5, 13, 2.5), 1, 1);

    // The magnifying glass circles over it, one step per frame.
    m_painted = Frame();
    const double angle = 2 * std::numbers::pi * m_painted / FrameCount;
    const QPointF lens(16 + 5 * std::cos(angle), 13 + 4 * std::sin(angle));
    const QPointF handleFrom = lens + QPointF(3.9, 3.9);
    p.setPen(QPen(QColor(0x5d, 0x40, 0x37), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(handleFrom, handleFrom + QPointF(5, 5));
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.8));
    p.setBrush(QColor(255, 255, 255, 120));
    p.drawEllipse(lens, 5.5, 5.5);
}
