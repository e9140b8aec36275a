#include "link/uf_DataSender.h"

#include "FakeIpHelper.h"
#include "LoopDevice.h"
#include "lang/uLanguage.h"
#include "link/u_ARPTx.h"
#include "../support/ModalGuard.h"
#include "platform/CommandText.h"
#include "platform/MessageBox.h"
#include "support/CommandLines.h"
#include "support/QStringPrint.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextLayout>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

namespace {

QImage Picture(const TfDataSender& w)
{
    return w.imgSit->pixmap().toImage();
}

class TWatchedDataSender : public TfDataSender
{
public:
    using TfDataSender::TfDataSender;
    int Steps = 0;
    bool SearchLook = true;

protected:
    void AnimationStep() override
    {
        ++Steps;
        SearchLook = SearchLook && Anim->isVisible() && Anim->Playing() && Progressbar->isHidden() &&
                     imgSit->isHidden();
    }
};

} // namespace

// Without a text the status line stays; only a positive countdown is taken.
TEST(DataSenderWindow, IconIsChosenByTheWholeFlagValue)
{
    TfDataSender w(nullptr, 0, nullptr);
    w.SetCaption(QStringLiteral("Komunikace se zařízením selhala!"));
    // 52 is the warning icon with Yes/No buttons: not a value of its own.
    w.ShowMessageEx(QString(), QStringLiteral("OK"), 5, 52, false, false);
    EXPECT_EQ(Picture(w), DataSenderGlobe().toImage());
    for (const auto& [flags, icon] : {std::pair{64u, 0}, {48u, 1}, {16u, 2}, {32u, 3}, {1u, 4}, {5u, 4}, {0u, 5}}) {
        w.ShowMessageEx(QString(), QStringLiteral("Zavřít"), 0, flags, false, false);
        EXPECT_EQ(Picture(w), DataSenderIcon(icon).toImage()) << flags;
    }
    w.ShowMessageEx(QString(), QStringLiteral("Zavřít"), -1, 0x134, false, false);
    EXPECT_EQ(Picture(w), DataSenderIcon(iconTick).toImage());
    EXPECT_EQ(w.lblCaption->text(), QStringLiteral("Komunikace se zařízením selhala!"));
    EXPECT_EQ(w.cmdOK->text(), QStringLiteral("Zavřít"));
    // A device's error text is shown as it came, markup and all.
    EXPECT_EQ(w.lblCaption->textFormat(), Qt::PlainText);
    EXPECT_FALSE(w.timTOut->isActive());
    EXPECT_EQ(w.Countdown, 5);
    for (int i = 0; i < DataSenderIconCount; ++i)
        for (int j = i + 1; j < DataSenderIconCount; ++j)
            EXPECT_NE(DataSenderIcon(i).toImage(), DataSenderIcon(j).toImage());
}

TEST(DataSenderWindow, ClosingDuringAConversationWaitsUntilItReturns)
{
    TLoopDevice device(SilentDevice());
    QPointer<TfDataSender> w = new TfDataSender(nullptr, device.Port(), nullptr);
    w->ShowMessage(QStringLiteral("Hotovo"), QStringLiteral("OK"), 1, 64, false);
    EXPECT_EQ(w->timTOut->interval(), 1000);
    w->TimeoutMs = 40;
    QWidget* owner = nullptr;
    bool closed = true;
    bool buttonShown = true;
    platform::SetMessageBoxHook([&](QWidget* o, const QString&, const QString&, unsigned) {
        owner = o;
        closed = w->close();
        buttonShown = w->cmdOK->isVisible();
        w->timTOutTimer();
        w->timTOutTimer(); // the countdown runs out
        return int(platform::IDNO);
    });
    // The silent device does not answer the query: a question is asked.
    EXPECT_FALSE(w->SetIPDirect(device.IP(), QStringLiteral("10.0.0.9"), QString(), 0, true, false));
    platform::SetMessageBoxHook(nullptr);
    EXPECT_EQ(owner, w.data());
    EXPECT_FALSE(closed);
    EXPECT_FALSE(buttonShown);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
}

TEST(DataSenderWindow, AnimationPlaysWhileASearchWaitsThenTheTransferLookFollows)
{
    TLoopDevice device(SilentDevice());
    TWatchedDataSender w(nullptr, device.Port(), nullptr);
    w.TimeoutMs = 200;
    w.show();
    QString mac;
    EXPECT_TRUE(w.FindMACByIP(device.IP(), QString(), mac, false).isEmpty());
    EXPECT_EQ(w.lblCaption->text(), QStringLiteral("Vyhledávám zařízení 127.0.0.2..."));
    EXPECT_GE(w.Steps, 2);
    EXPECT_TRUE(w.SearchLook);
    EXPECT_FALSE(w.Anim->Playing());

    w.PrepareTransfer(device.IP());
    EXPECT_TRUE(w.Anim->isHidden());
    EXPECT_FALSE(w.Progressbar->isHidden());
    EXPECT_FALSE(w.imgSit->isHidden());
}

// A short text keeps the design to the pixel; a longer one widens the text
// box (and the window, the button moving with it) up to twice its width,
// then lengthens it, within the screen; the design comes back after it.
TEST(DataSenderWindow, TheWindowGrowsAsFarAsItsTextNeedsWithinTheScreen)
{
    const QString sentence = QStringLiteral("DeleteARPEntry: Access is denied, give the helper its rights. ");
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // How much wider (-1: some, less than twice; -2: the screen's width) and
    // whether taller.
    const std::tuple<QString, int, bool> rows[] = {
        {QStringLiteral("Komunikace se zařízením selhala!\r\nPravděpodobnou příčinou je nekompatibilní síťové "
                        "nastavení zařízení (IP: 192.168.100.100)"),
         0, false},
        {sentence.repeated(5), -1, false}, {sentence.repeated(12), 289, true}, {sentence.repeated(400), -2, true},
        {QString(65000, u'x'), -2, true}, {QStringLiteral("Hotovo"), 0, false}};
    TfDataSender w(nullptr, 0, nullptr);
    for (const auto& [text, wider, taller] : rows) {
        SCOPED_TRACE(text.left(70).toStdString());
        w.ShowMessage(text, QStringLiteral("OK"), 0, 16, false);
        const int dx = w.width() - 428, dy = w.height() - 77;
        EXPECT_TRUE(wider >= 0    ? dx == wider
                    : wider == -1 ? dx > 0 && dx < 289
                                  : w.frameGeometry().width() == screen.width())
            << dx;
        EXPECT_EQ(dy > 0, taller) << dy;
        EXPECT_EQ(w.lblCaption->geometry(), QRect(48, 12, 289 + dx, 61 + dy));
        EXPECT_EQ(w.cmdOK->geometry(), QRect(344 + dx, 48 + dy, 75, 25));
        EXPECT_EQ(w.Progressbar->geometry(), QRect(48, 48 + dy, 361 + dx, 16));
        EXPECT_TRUE(screen.contains(w.frameGeometry()));
        EXPECT_TRUE(w.frameGeometry().height() == screen.height() ||
                    w.lblCaption->heightForWidth(w.lblCaption->width()) <= w.lblCaption->height());
        // Not wider than the design's height needs.
        EXPECT_TRUE(dx == 0 || taller || w.lblCaption->heightForWidth(w.lblCaption->width() - 1) > 61);
    }
    // Drawn as the designed word-wrapped label draws it.
    QLabel designed(w.lblCaption->text(), &w);
    designed.setGeometry(w.lblCaption->geometry());
    designed.setWordWrap(true);
    designed.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    EXPECT_EQ(designed.grab().toImage(), w.lblCaption->grab().toImage());
    w.hide();
}

// A command stands whole on a line of its own under the text, where Ctrl+A
// and Ctrl+C (or the mouse) copy exactly it; the window grows for it within
// the screen, a line still too narrow scrolls, and Enter still presses OK.
// A later message without a command takes the design again.
TEST(DataSenderWindow, CommandsStandWholeUnderTheTextAndCanBeCopied)
{
    const QString helper = QStringLiteral("'/home/ann/my vyn/build/bin/vyn-netpriv'");
    const QString setUp = QStringLiteral("groupadd --system vynnet && gpasswd -a ann vynnet && chown root:vynnet ") +
                          helper + QStringLiteral(" && chmod 750 ") + helper +
                          QStringLiteral(" && setcap cap_net_admin,cap_net_raw+ep ") + helper;
    const QString rights = QStringLiteral("Pomocný program ") + helper +
                           QStringLiteral(" nemá oprávnění CAP_NET_ADMIN a CAP_NET_RAW. Správce mu je udělí "
                                          "podle oddílu Rights souboru README.md jako root tímto příkazem:");
    const QString run = QStringLiteral("make run");
    const QString setcap = QStringLiteral("setcap cap_net_admin,cap_net_raw+ep ") + helper;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // message, text shown, commands, whether the design size stays
    const std::tuple<QString, QString, QStringList, bool> rows[] = {
        {QStringLiteral("DeleteARPEntry:\r\n") + rights + platform::CommandLine(setUp) + QStringLiteral("\r\n(#00000522)"),
         QStringLiteral("DeleteARPEntry:\r\n") + rights + QStringLiteral("\r\n(#00000522)"), {setUp}, false},
        {QStringLiteral("Sestavte jej:") + platform::CommandLine(run), QStringLiteral("Sestavte jej:"), {run}, true},
        {QStringLiteral("Jako root:") + platform::CommandLine(setcap), QStringLiteral("Jako root:"), {setcap}, false},
        {rights + platform::CommandLine(run) + platform::CommandLine(setUp) + platform::CommandLine(run), rights,
         {run, setUp}, false},
    };
    TfDataSender w(nullptr, 0, nullptr);
    for (const auto& [message, text, commands, designed] : rows) {
        SCOPED_TRACE(message.left(40).toStdString());
        w.ShowMessageEx(message, QStringLiteral("OK"), 3, 16, false, false);
        EXPECT_EQ(w.lblCaption->text(), text);
        EXPECT_EQ(w.lblCaption->textFormat(), Qt::PlainText);
        EXPECT_EQ(w.size() == QSize(428, 77), designed) << w.width() << 'x' << w.height();
        EXPECT_TRUE(screen.contains(w.frameGeometry()));
        // The text's lines hold nothing of the commands; all of it shows.
        const QStringList lines = WrappedMessageLines(text, w.lblCaption->font(), w.lblCaption->width());
        EXPECT_EQ(lines.join(u' ').simplified(), QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")).simplified());
        EXPECT_LE(w.lblCaption->heightForWidth(w.lblCaption->width()), w.lblCaption->height());
        ASSERT_TRUE(w.txtCommand->isVisible());
        EXPECT_GE(w.txtCommand->y(), w.lblCaption->geometry().bottom());
        EXPECT_EQ(w.txtCommand->geometry().bottom(), w.cmdOK->geometry().bottom());
        EXPECT_LT(w.txtCommand->geometry().right(), w.cmdOK->x());
        EXPECT_EQ(w.cmdOK->text(), QStringLiteral("OK [3]"));
        EXPECT_TRUE(w.timTOut->isActive());
        ExpectCommandLines(*w.txtCommand, commands, w.frameGeometry().width() == screen.width());
        // Enter in a command line still answers OK.
        QTest::keyClick(w.txtCommand->Lines().back(), Qt::Key_Return);
        EXPECT_FALSE(w.isVisible());
    }
    // A message window of its own, modal: the button has the first focus,
    // and Enter there answers.
    TModalGuard guard;
    bool onButton = false;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }, 5000));
        auto* modal = qobject_cast<TfDataSender*>(QApplication::activeModalWidget());
        ASSERT_NE(modal, nullptr);
        onButton = QApplication::focusWidget() == modal->cmdOK;
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : modal, Qt::Key_Return);
    });
    TfDataSender::ShowDeviceMessage(std::get<0>(rows[0]), QStringLiteral("OK"), 0, 16, true);
    EXPECT_TRUE(onButton);
    // The last text again without its commands, then a short text.
    w.ShowMessageEx(std::get<1>(std::cend(rows)[-1]), QStringLiteral("OK"), 0, 64, false, false);
    EXPECT_TRUE(w.txtCommand->isHidden());
    w.ShowMessageEx(QStringLiteral("Hotovo"), QStringLiteral("OK"), 0, 64, false, false);
    EXPECT_EQ(w.size(), QSize(428, 77));
    EXPECT_EQ(w.lblCaption->geometry(), QRect(48, 12, 289, 61));
    EXPECT_EQ(w.lblCaption->text(), QStringLiteral("Hotovo"));
    EXPECT_TRUE(w.txtCommand->isHidden());
    EXPECT_TRUE(w.txtCommand->Lines().isEmpty());
}

// No line passes the width; a word too long for a line breaks after its
// separators (between any two letters only when a part is still too long);
// a word that fits stays whole.
TEST(MessageLabel, LongWordsBreakAfterTheirSeparatorsAndNothingPassesTheWidth)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    // Text, width, what every line but the last ends with, a word kept whole.
    const std::tuple<QString, int, QString, QString> rows[] = {
        {QStringLiteral("/home/operator/vyn/build/bin/vyn-netpriv"), 90, QStringLiteral("/-"), QString()},
        // A path kept whole where it fits breaks as any word once it cannot.
        {platform::UnbrokenPath(QStringLiteral("/home/operator/vyn/build/bin/vyn-netpriv")), 90,
         QStringLiteral("/-"), QString()},
        {QStringLiteral("setcap cap_net_admin,cap_net_raw+ep"), 70, QStringLiteral("_,+p"), QStringLiteral("setcap")},
        {QStringLiteral("0123456789abcdef0123456789abcdef0123456789"), 40, QString(), QString()},
        {QStringLiteral("the new address 10.0.0.1 was set"), 70, QString(), QStringLiteral("10.0.0.1")},
        {QStringLiteral("Selhalo:\r\nAccess is denied"), 289, QStringLiteral(":"), QStringLiteral("denied")}};
    for (const auto& [text, width, ends, whole] : rows) {
        SCOPED_TRACE(text.toStdString());
        const QStringList lines = WrappedMessageLines(text, font, width);
        ASSERT_GT(lines.size(), 1);
        EXPECT_EQ(lines.join(QString()).remove(u' '), QString(text).remove(QRegularExpression(QStringLiteral("\\s"))));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            EXPECT_LE(QFontMetricsF(font).horizontalAdvance(lines[i]), width) << lines[i].toStdString();
            EXPECT_TRUE(ends.isEmpty() || i + 1 == lines.size() || ends.contains(lines[i].back())) << lines[i].toStdString();
        }
        EXPECT_TRUE(whole.isEmpty() || lines.join(u' ').split(u' ').contains(whole));
    }
}

namespace {

// Where QTextLayout ends the lines of text at width, as a word-wrapped label
// lays it out.
std::vector<qsizetype> LineEnds(const QString& text, const QFont& font, int width)
{
    QTextLayout layout(QString(text).replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator)), font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    std::vector<qsizetype> ends;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        ends.push_back(line.textStart() + line.textLength());
    }
    layout.endLayout();
    return ends;
}

} // namespace

// A path in a message's text stays whole on one line, in the message box and
// in the conversation window, whatever the width, in each shipped language;
// a terminal gets it back as it is.
TEST(DataSenderWindow, APathInAMessageStaysWholeOnALine)
{
    const QString helper = QStringLiteral("/home/operátorka/my vyn/build-release/bin/vyn-netpriv");
    platform::SetNetHelperPath(helper);
    FakeIpHelper fake;
    SetIpHelperLoader([&fake] { return std::make_unique<FakeIpHelperLink>(fake); });
    TModalGuard guard;
    for (const char* file : {"cesky.lng", "english.lng"}) {
        SCOPED_TRACE(file);
        Language.LoadFromFile(QStringLiteral(VYN_SOURCE_DIR "/resources/") + QLatin1String(file));
        TARPManager m(false);
        for (const uint32_t code : {platform::ERROR_FILE_NOT_FOUND, platform::ERROR_ACCESS_DISABLED_BY_POLICY,
                                    platform::ERROR_PRIVILEGE_NOT_HELD}) {
            SCOPED_TRACE(code);
            fake.Rights = code;
            const QString message = m.MissingRightsText();
            const QString text = platform::SplitCommands(message).text;
            const QString path = platform::UnbrokenPath(helper);
            const qsizetype from = text.indexOf(path), to = from + path.size();
            ASSERT_GE(from, 0) << message.toStdString();
            EXPECT_TRUE(platform::PlainMessage(message).contains(helper));
            // Every width the path fits in.
            QFont font;
            const int least = QFontMetrics(font).horizontalAdvance(path) + 1;
            for (int width = least; width < least * 4; ++width) {
                for (const qsizetype end : LineEnds(text, font, width))
                    ASSERT_TRUE(end <= from || end >= to) << width;
            }
            // The message box as it is shown.
            bool seen = false;
            QTimer::singleShot(0, [&] {
                QWidget* box = QApplication::activeModalWidget();
                ASSERT_NE(box, nullptr);
                const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
                ASSERT_NE(label, nullptr);
                EXPECT_EQ(label->text(), text);
                for (const qsizetype end : LineEnds(text, label->font(), label->contentsRect().width()))
                    EXPECT_TRUE(end <= from || end >= to);
                seen = true;
                box->close();
            });
            platform::MessageBox(nullptr, message, QStringLiteral("VYN"), platform::MB_OK);
            EXPECT_TRUE(seen);
            // The conversation window, as narrow as the design.
            TfDataSender w(nullptr, 0, nullptr);
            w.ShowMessageEx(message, QStringLiteral("OK"), 0, 16, false, false);
            const QStringList lines = WrappedMessageLines(text, w.lblCaption->font(), w.lblCaption->width());
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(path); }))
                << lines.join(u'|').toStdString();
            w.hide();
        }
    }
    // A path wider than the box could be gets its break chances back rather
    // than being cut off at the right.
    const QString wide = QStringLiteral("/home/operator/") + QStringLiteral("a-long-folder-name/").repeated(20) +
        QStringLiteral("vyn-netpriv");
    QString shownText;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        shownText = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
        box->close();
    });
    platform::MessageBox(nullptr, QStringLiteral("Pomocný program ") + platform::UnbrokenPath(wide) +
                                      QStringLiteral(" chybí."),
                         QStringLiteral("VYN"), platform::MB_OK);
    EXPECT_EQ(shownText, QStringLiteral("Pomocný program ") + wide + QStringLiteral(" chybí."));
    Language = TLanguage();
    SetIpHelperLoader(nullptr);
    platform::SetNetHelperPath(QString());
}
