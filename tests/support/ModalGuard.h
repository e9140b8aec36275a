#pragma once

// A modal window that nobody answers keeps its exec(), and so the test, until
// CTest's time-out, and says nothing about why. The guard fails the running
// test within seconds instead, naming the window and what it showed, and
// closes the window so the test runs to its end.

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class TModalGuard : public QObject
{
public:
    // ClosesByItself: a window that ends on its own (a countdown) and is
    // left alone.
    explicit TModalGuard(std::chrono::milliseconds Limit = std::chrono::seconds(5),
                         std::function<bool(QWidget*)> ClosesByItself = nullptr)
        : FLimit(Limit), FClosesByItself(std::move(ClosesByItself))
    {
        connect(&FTimer, &QTimer::timeout, this, [this] { Check(); });
        FTimer.start(20);
    }

    // How each window left unanswered looked ("class 'title': texts").
    std::vector<std::string> Closed;

private:
    void Check()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != FSeen) {
            FSeen = modal;
            FSince = std::chrono::steady_clock::now();
            return;
        }
        if (!modal || std::chrono::steady_clock::now() - FSince < FLimit
            || (FClosesByItself && FClosesByItself(modal)))
            return;
        const std::string shown = Describe(*modal);
        Closed.push_back(shown);
        ADD_FAILURE() << "A modal window was left unanswered for " << FLimit.count() << " ms: " << shown;
        // Closing asks the window, which may refuse (a message box without
        // an escape button); ending its dialog does not.
        modal->close();
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->isVisible())
            dialog->done(QDialog::Rejected);
        else if (modal->isVisible())
            modal->hide();
        FSeen = nullptr;
    }

    static std::string Describe(const QWidget& w)
    {
        QString text = QString::fromLatin1(w.metaObject()->className()) + QStringLiteral(" '")
                       + (w.windowTitle().isEmpty() ? w.objectName() : w.windowTitle()) + QStringLiteral("':");
        for (const QLabel* label : w.findChildren<QLabel*>())
            if (label->isVisible() && !label->text().isEmpty())
                text += u' ' + label->text();
        return text.toStdString();
    }

    std::chrono::milliseconds FLimit;
    std::function<bool(QWidget*)> FClosesByItself;
    QTimer FTimer;
    QPointer<QWidget> FSeen;
    std::chrono::steady_clock::time_point FSince;
};
