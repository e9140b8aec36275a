#include "platform/MessageBox.h"

#include "platform/CommandText.h"
#include "support/CommandLines.h"

#include "../support/ModalGuard.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <tuple>

// Classic flag words (typed as numbers) against the icon shown and the answer
// a key or a button gives, with and without a command under the text (Qt's
// own box when there is none); every window test uses the hook instead.
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
    for (const QString& text : {QStringLiteral("Text"), QStringLiteral("Text") + platform::CommandLine(QStringLiteral("ls -l"))}) {
        for (const auto& [flags, key, button, icon, answer] : rows) {
            QMessageBox::Icon shown = QMessageBox::NoIcon;
            QString shownText;
            const QMetaObject* kind = nullptr;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                shown = box->icon();
                shownText = box->text();
                kind = box->metaObject();
                if (key)
                    QTest::keyClick(box, Qt::Key(key));
                else
                    box->button(button)->click();
            });
            EXPECT_EQ(platform::MessageBox(nullptr, text, QStringLiteral("Caption"), flags), answer)
                << std::hex << flags << " key " << key << ' ' << text.size();
            EXPECT_EQ(shown, icon) << std::hex << flags;
            EXPECT_EQ(shownText, QStringLiteral("Text"));
            EXPECT_EQ(kind == &QMessageBox::staticMetaObject, text.size() == 4);
        }
    }
}

// The commands stand below the whole text and above the buttons, each whole
// on one line that Ctrl+A and Ctrl+C copy exactly; the box grows wider for
// them within the screen, and a line still too narrow scrolls. Enter in a
// line still presses the default button.
TEST(MessageBox, CommandsStandWholeBelowTheTextAndCanBeCopied)
{
    TModalGuard guard;
    const QString helper = QStringLiteral("'/home/ann/my vyn/build/bin/vyn-netpriv'");
    const QString setUp = QStringLiteral("groupadd --system vynnet && gpasswd -a ann vynnet && chown root:vynnet ") +
                          helper + QStringLiteral(" && chmod 750 ") + helper +
                          QStringLiteral(" && setcap cap_net_admin,cap_net_raw+ep ") + helper;
    const QString question = QStringLiteral("Nastavit adresu jinou cestou?\r\n\r\nPomocný program ") + helper +
                             QStringLiteral(" nemá oprávnění; správce jako root provede <b>tento</b> příkaz:");
    const QString run = QStringLiteral("make run");
    const QString setcap = QStringLiteral("setcap cap_net_admin,cap_net_raw+ep ") + helper;
    // message, text shown, commands, answer (IDYES: Enter in the last line)
    const std::tuple<QString, QString, QStringList, int> rows[] = {
        {question + platform::CommandLine(setUp), question, {setUp}, platform::IDNO},
        {question + platform::CommandLine(setUp) + QStringLiteral("\r\n(#00000522)"),
         question + QStringLiteral("\r\n(#00000522)"), {setUp}, platform::IDYES},
        {QStringLiteral("Jako root:") + platform::CommandLine(setcap), QStringLiteral("Jako root:"), {setcap}, platform::IDNO},
        {QStringLiteral("Sestavte jej:") + platform::CommandLine(run) + platform::CommandLine(setUp) +
             platform::CommandLine(run),
         QStringLiteral("Sestavte jej:"), {run, setUp}, platform::IDNO},
    };
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const auto& [message, text, commands, answer] : rows) {
        SCOPED_TRACE(message.left(40).toStdString());
        bool checked = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            ASSERT_TRUE(box->isVisible());
            // Qt sizes the box for its text again on each layout request:
            // the box stays as it was.
            const QRect placed = box->frameGeometry();
            QEvent relayout(QEvent::LayoutRequest);
            QCoreApplication::sendEvent(box, &relayout);
            EXPECT_EQ(box->frameGeometry(), placed);
            EXPECT_EQ(box->text(), text);
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            EXPECT_TRUE(screen.contains(box->frameGeometry()));
            const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            const auto* view = dynamic_cast<platform::TCommandView*>(box->findChild<QWidget*>(QStringLiteral("txtCommand")));
            const auto* buttons = box->findChild<QDialogButtonBox*>();
            ASSERT_TRUE(label && view && buttons);
            EXPECT_TRUE(view->isVisible());
            EXPECT_GT(view->y(), label->geometry().bottom());
            EXPECT_GT(buttons->y(), view->geometry().bottom());
            EXPECT_EQ(view->x(), label->x());
            EXPECT_LE(view->geometry().right(), box->contentsRect().right());
            ExpectCommandLines(*view, commands, box->frameGeometry().width() == screen.width());
            checked = true;
            if (answer == platform::IDYES)
                QTest::keyClick(view->Lines().back(), Qt::Key_Return);
            else
                box->button(QMessageBox::No)->click();
        });
        EXPECT_EQ(platform::MessageBox(nullptr, message, QStringLiteral("VYN"), platform::MB_YESNO | platform::MB_ICONQUESTION),
                  answer);
        EXPECT_TRUE(checked);
    }
}
