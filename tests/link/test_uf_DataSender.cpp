#include "link/uf_DataSender.h"

#include "LoopDevice.h"
#include "platform/MessageBox.h"
#include "support/QStringPrint.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

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
