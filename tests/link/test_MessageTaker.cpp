// A window nobody answers fails the test within the guard's limit, instead
// of holding it until CTest's time-out, and is closed; a countdown ends its
// message by itself.
#include "link/MessageTaker.h"

#include <QMessageBox>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(ModalGuard, AModalWindowNobodyAnswersFailsTheTestAndIsClosed)
{
    // A dialog closes when asked; a box without an escape button refuses.
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Otázka"));
    QMessageBox box(QMessageBox::Question, QStringLiteral("VYN"), QStringLiteral("Uložit?"),
                    QMessageBox::Yes | QMessageBox::No);
    for (auto [window, shown] : {std::pair<QDialog*, std::string>{&dialog, "QDialog 'Otázka':"},
                                 {&box, "QMessageBox 'VYN': Uložit?"}}) {
        TModalGuard guard(200ms);
        EXPECT_NONFATAL_FAILURE(window->exec(), "left unanswered for 200 ms: " + shown);
        EXPECT_EQ(guard.Closed, std::vector<std::string>{shown});
    }
}

TEST(ModalGuard, ACountdownEndsItsMessageByItselfAndIsLeftAlone)
{
    TModalGuard guard(200ms, CountsDown);
    QPointer<TfDataSender> w = new TfDataSender(nullptr, 0, nullptr);
    w->ShowMessage(QStringLiteral("Hotovo"), QStringLiteral("OK"), 1, 64, true);
    EXPECT_TRUE(guard.Closed.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
}
