#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace platform;

namespace {

// Runs `act` on the message box once it is showing, then returns what the
// box answered.
int showAndAct(unsigned flags, std::function<void(QMessageBox*)> act)
{
    QTimer::singleShot(0, [act] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        act(box);
    });
    return MessageBox(nullptr, QStringLiteral("Text"), QStringLiteral("Caption"), flags);
}

QAbstractButton* buttonOf(QMessageBox* box, QMessageBox::StandardButton which)
{
    return box->button(which);
}

} // namespace

TEST(MessageBox, ButtonSetsAnswerWithClassicCodes)
{
    EXPECT_EQ(showAndAct(MB_OK, [](QMessageBox* b) { buttonOf(b, QMessageBox::Ok)->click(); }), IDOK);
    EXPECT_EQ(showAndAct(MB_YESNO, [](QMessageBox* b) { buttonOf(b, QMessageBox::Yes)->click(); }), IDYES);
    EXPECT_EQ(showAndAct(MB_YESNO, [](QMessageBox* b) { buttonOf(b, QMessageBox::No)->click(); }), IDNO);
    EXPECT_EQ(showAndAct(MB_ABORTRETRYIGNORE,
                         [](QMessageBox* b) { buttonOf(b, QMessageBox::Retry)->click(); }),
              IDRETRY);
    EXPECT_EQ(showAndAct(MB_OKCANCEL, [](QMessageBox* b) { buttonOf(b, QMessageBox::Cancel)->click(); }),
              IDCANCEL);
}

TEST(MessageBox, IconAndDefaultButtonFollowFlags)
{
    // 0x124: Yes/No, question icon, second button default -> Enter answers No.
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int answer = showAndAct(0x124, [&](QMessageBox* b) {
        icon = b->icon();
        EXPECT_EQ(b->defaultButton(), buttonOf(b, QMessageBox::No));
        QTest::keyClick(b, Qt::Key_Return);
    });
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(answer, IDNO);

    // 0x34: Yes/No, exclamation, first button default -> Enter answers Yes.
    answer = showAndAct(0x34, [&](QMessageBox* b) {
        icon = b->icon();
        QTest::keyClick(b, Qt::Key_Return);
    });
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(answer, IDYES);

    showAndAct(0x144, [&](QMessageBox* b) {
        icon = b->icon();
        b->defaultButton()->click();
    });
    EXPECT_EQ(icon, QMessageBox::Information);

    showAndAct(16, [&](QMessageBox* b) {
        icon = b->icon();
        b->defaultButton()->click();
    });
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(MessageBox, EscapeGivesTheCancellingButton)
{
    EXPECT_EQ(showAndAct(MB_YESNO, [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }), IDNO);
    EXPECT_EQ(showAndAct(MB_OKCANCEL, [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }), IDCANCEL);
    EXPECT_EQ(showAndAct(MB_OK, [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }), IDOK);
}

TEST(MessageBox, HookAnswersInsteadOfShowing)
{
    QString seenText;
    unsigned seenFlags = 0;
    SetMessageBoxHook([&](QWidget*, const QString& text, const QString&, unsigned flags) {
        seenText = text;
        seenFlags = flags;
        return IDYES;
    });
    EXPECT_EQ(MessageBox(nullptr, QStringLiteral("Question?"), QString(), 0x124), IDYES);
    SetMessageBoxHook(nullptr);
    EXPECT_EQ(seenText, QStringLiteral("Question?"));
    EXPECT_EQ(seenFlags, 0x124u);
}
