#pragma once

// The mouse entering and leaving a widget, as the window system reports it.
#include <QColor>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QWidget>

#include <functional>
#include <vector>

// A colour as the design writes it, $BBGGRR.
inline QColor Design(unsigned bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

inline void SendEnter(QWidget* w)
{
    const QPointF local(w->width() / 2.0, w->height() / 2.0);
    QEnterEvent event(local, local, w->mapToGlobal(local));
    QCoreApplication::sendEvent(w, &event);
}

inline void SendLeave(QWidget* w)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(w, &event);
}

// The keyboard focus coming to or leaving a widget.
inline void SendFocus(QWidget* w, QEvent::Type type)
{
    QFocusEvent event(type);
    QCoreApplication::sendEvent(w, &event);
}

// The senders an event handler was called with.
struct SenderLog : std::vector<QObject*> {
    using std::vector<QObject*>::vector;
    std::function<void(QObject*)> handler()
    {
        return [this](QObject* s) { push_back(s); };
    }
};
