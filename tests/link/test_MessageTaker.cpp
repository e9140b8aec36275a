// The test helpers that answer windows: what nobody answers fails the test
// within the guard's limit instead of holding it until CTest's time-out.

#include "link/MessageTaker.h"
#include "link/uf_DataSender_Icons.h"

#include <QMessageBox>
#include <QVBoxLayout>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono_literals;

TEST(ModalGuard, AModalWindowNobodyAnswersFailsTheTestAndIsClosed)
{
    const struct {
        const char* name;
        std::function<void()> show;
        const char* shown;
    } rows[] = {
        {"dialog",
         [] {
             QDialog dialog;
             dialog.setWindowTitle(QStringLiteral("Otázka"));
             auto* layout = new QVBoxLayout(&dialog);
             layout->addWidget(new QLabel(QStringLiteral("Pokračovat?")));
             EXPECT_EQ(dialog.exec(), QDialog::Rejected);
         },
         "QDialog 'Otázka': Pokračovat?"},
        {"message box",
         [] {
             QMessageBox box(QMessageBox::Question, QStringLiteral("VYN"), QStringLiteral("Uložit?"),
                             QMessageBox::Yes | QMessageBox::No);
             box.exec();
         },
         "QMessageBox 'VYN': Uložit?"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TModalGuard guard(200ms);
        EXPECT_NONFATAL_FAILURE(row.show(), std::string("left unanswered for 200 ms: ") + row.shown);
        EXPECT_EQ(guard.Closed, std::vector<std::string>{row.shown});
    }
}

TEST(MessageTaker, TakesConversationMessagesAtOnceAndLeavesCountdownsToThemselves)
{
    {
        TMessageTaker taker;
        TfDataSender::ShowDeviceMessage(QStringLiteral("Zařízení nebylo nalezeno"), QStringLiteral("OK"), 0, 16,
                                        true);
        EXPECT_EQ(taker.Messages,
                  (std::vector<TShown>{{QStringLiteral("Zařízení nebylo nalezeno"), "OK", iconError}}));
    }
    // Without a taker, a countdown ends the message and the guard keeps out.
    TModalGuard guard(200ms, CountsDown);
    QPointer<TfDataSender> w = new TfDataSender(nullptr, 0, nullptr);
    w->ShowMessage(QStringLiteral("Hotovo"), QStringLiteral("OK"), 1, 64, true);
    EXPECT_TRUE(guard.Closed.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
}
