#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

// Classic flag words (typed as numbers, not through the names) against the
// icon shown and the answer a key or a button gives. The hook that answers
// instead of showing is used by every window test.
TEST(MessageBox, FlagsIconsKeysAndAnswers)
{
    const struct
    {
        unsigned flags;
        int key; // 0: click the button
        QMessageBox::StandardButton button;
        QMessageBox::Icon icon;
        int answer;
    } rows[] = {
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
    for (const auto& row : rows) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            icon = box->icon();
            if (row.key)
                QTest::keyClick(box, Qt::Key(row.key));
            else
                box->button(row.button)->click();
        });
        EXPECT_EQ(platform::MessageBox(nullptr, QStringLiteral("Text"), QStringLiteral("Caption"), row.flags), row.answer)
            << std::hex << row.flags << " key " << row.key;
        EXPECT_EQ(icon, row.icon) << std::hex << row.flags;
    }
}
