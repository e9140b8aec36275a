#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

// Classic flag words (typed as numbers, not through the names) against the
// icon shown and the answer a key or a button gives.
TEST(MessageBox, FlagsIconsKeysAndAnswers)
{
    struct Case
    {
        unsigned flags;
        int key; // 0: click the button
        QMessageBox::StandardButton button;
        QMessageBox::Icon icon;
        int answer;
    };
    const std::vector<Case> table{
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
    for (const Case& c : table) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            icon = box->icon();
            if (c.key)
                QTest::keyClick(box, Qt::Key(c.key));
            else
                box->button(c.button)->click();
        });
        EXPECT_EQ(MessageBox(nullptr, QStringLiteral("Text"), QStringLiteral("Caption"), c.flags), c.answer)
            << std::hex << c.flags << " key " << c.key;
        EXPECT_EQ(icon, c.icon) << std::hex << c.flags;
    }
}

TEST(MessageBox, HookAnswersInsteadOfShowing)
{
    QString seen;
    SetMessageBoxHook([&](QWidget*, const QString& text, const QString&, unsigned flags) {
        seen = text + QString::number(flags, 16);
        return IDYES;
    });
    EXPECT_EQ(MessageBox(nullptr, QStringLiteral("Question?"), QString(), 0x124), IDYES);
    SetMessageBoxHook(nullptr);
    EXPECT_EQ(seen, QStringLiteral("Question?124"));
}
