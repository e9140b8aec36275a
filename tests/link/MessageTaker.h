#pragma once

// Presses OK on every conversation window's message and notes what it showed.
// Any other modal window left unanswered fails the test within seconds.

#include "link/uf_DataSender.h"
#include "../support/ModalGuard.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <vector>

// A conversation window counting down closes by itself.
inline bool CountsDown(QWidget* window)
{
    const auto* d = qobject_cast<TfDataSender*>(window);
    return d && d->timTOut->isActive();
}

struct TShown
{
    QString Text;
    QString Button;
    int Icon = -1; // DataSenderIcon index, -1: none of them
    bool operator==(const TShown&) const = default;
};

class TMessageTaker : public QObject
{
public:
    TMessageTaker()
    {
        connect(&FTimer, &QTimer::timeout, this, [this] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* d = qobject_cast<TfDataSender*>(top);
                if (!d || !d->isVisible() || !d->cmdOK->isVisible())
                    continue;
                // The message as given: the label shows it without its commands.
                Messages.push_back({d->Caption(), d->cmdOK->text(), IconOf(*d)});
                d->cmdOK->click();
                return;
            }
        });
        FTimer.start(10);
    }

    std::vector<TShown> Messages;

private:
    static int IconOf(const TfDataSender& d)
    {
        const QImage shown = d.imgSit->pixmap().toImage();
        for (int i = 0; i < DataSenderIconCount; ++i)
            if (shown == DataSenderIcon(i).toImage())
                return i;
        return -1;
    }

    QTimer FTimer;
    TModalGuard FGuard{std::chrono::seconds(5), CountsDown};
};
