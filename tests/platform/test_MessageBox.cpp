#include "platform/MessageBox.h"

#include "../support/ModalGuard.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <tuple>

// Classic flag words (typed as numbers) against the icon shown and the answer
// a key or a button gives; every window test uses the hook instead.
TEST(MessageBox, FlagsIconsKeysAndAnswers)
{
    // A box the answering timer missed fails the row instead of hanging.
    TModalGuard guard;
    // flags, key (0: click the button), button, icon shown, answer
    const std::tuple<unsigned, int, QMessageBox::StandardButton, QMessageBox::Icon, int> rows[] = {
        {0x0, 0, QMessageBox::Ok, QMessageBox::NoIcon, 1},
        {0x4, 0, QMessageBox::Yes, QMessageBox::NoIcon, 6},
        {0x4, 0, QMessageBox::No, QMessageBox::NoIcon, 7},
        {0x2, 0, QMessageBox::Retry, QMessageBox::NoIcon, 4},
        {0x1, 0, QMessageBox::Cancel, QMessageBox::NoIcon, 2},
        {0x124, Qt::Key_Return, QMessageBox::NoButton, QMessageBox::Question, 7}, // second button default
        {0x34, Qt::Key_Return, QMessageBox::NoButton, QMessageBox::Warning, 6},
        {0x144, Qt::Key_Return, QMessageBox::NoButton, QMessageBox::Information, 7},
        {0x10, Qt::Key_Return, QMessageBox::NoButton, QMessageBox::Critical, 1},
        {0x4, Qt::Key_Escape, QMessageBox::NoButton, QMessageBox::NoIcon, 7},
        {0x1, Qt::Key_Escape, QMessageBox::NoButton, QMessageBox::NoIcon, 2},
        {0x0, Qt::Key_Escape, QMessageBox::NoButton, QMessageBox::NoIcon, 1},
    };
    for (const auto& [flags, key, button, icon, answer] : rows) {
        QMessageBox::Icon shown = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shown = box->icon();
            if (key)
                QTest::keyClick(box, Qt::Key(key));
            else
                box->button(button)->click();
        });
        EXPECT_EQ(platform::MessageBox(nullptr, QStringLiteral("Text"), QStringLiteral("Caption"), flags), answer)
            << std::hex << flags << " key " << key;
        EXPECT_EQ(shown, icon) << std::hex << flags;
    }
}
