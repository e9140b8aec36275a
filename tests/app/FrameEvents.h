#pragma once

// The mouse entering and leaving a widget, as the window system reports it.
#include <QCoreApplication>
#include <QEnterEvent>
#include <QEvent>
#include <QPointF>
#include <QWidget>

#include <functional>
#include <vector>

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

// Records the senders an event handler was called with.
struct SenderLog {
    std::vector<QObject*> senders;
    std::function<void(QObject*)> handler()
    {
        return [this](QObject* s) { senders.push_back(s); };
    }
    std::size_t count() const { return senders.size(); }
};
