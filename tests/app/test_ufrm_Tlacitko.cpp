#include "app/ufrm_Tlacitko.h"
#include "app/uConst.h"

#include "FrameEvents.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

TEST(TfrmTlacitko, LaysOutAnInsetPanelWithTheDesignColours)
{
    // Colour references are $00BBGGRR.
    EXPECT_EQ(ColorFromRef(0x1173F8), QColor(0xF8, 0x73, 0x11));

    TfrmTlacitko frame;
    frame.show();
    EXPECT_EQ(frame.size(), QSize(115, 18));
    EXPECT_EQ(frame.Tlac->geometry(), QRect(1, 1, 113, 16));
    EXPECT_EQ(frame.Tlac->Color(), Design(0x0C77ED));
    EXPECT_EQ(frame.Tlac->FontColor(), Design(0xFFFFFF));
    EXPECT_EQ(frame.Color(), Design(0xFFFFFF));

    frame.resize(200, 30);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.Tlac->geometry(), QRect(1, 1, 198, 28));

    // The caption is painted centred on the panel, the frame shows as a
    // white border. (The panel may show the hover colour by now when the
    // window system put the pointer over the new window.)
    frame.SetCaption(QStringLiteral("&Nastavit"));
    const QImage shot = frame.grab().toImage();
    const QColor face = frame.Tlac->Color();
    EXPECT_EQ(QColor(shot.pixel(0, 0)), Design(0xFFFFFF));
    EXPECT_EQ(QColor(shot.pixel(2, 2)), face);
    int textPixels = 0;
    for (int x = 2; x < shot.width() - 2; ++x)
        for (int y = 2; y < shot.height() - 2; ++y)
            textPixels += QColor(shot.pixel(x, y)) != face;
    EXPECT_GT(textPixels, 20);
}

TEST(TfrmTlacitko, HoverChangesThePanelColour)
{
    TfrmTlacitko frame;
    SendEnter(&frame);
    EXPECT_EQ(frame.Tlac->Color(), Design(0x408000));
    SendLeave(&frame);
    EXPECT_EQ(frame.Tlac->Color(), Design(0x1173F8));

    // A panel in the selection colour keeps it under the mouse.
    frame.Tlac->SetColor(Design(0xCAEBFF));
    SendEnter(&frame);
    EXPECT_EQ(frame.Tlac->Color(), Design(0xCAEBFF));
}

// The language files set them by property name.
TEST(TfrmTlacitko, CaptionAndHintByPropertyNameAndEmptyHintTurnsHintsOff)
{
    TfrmTlacitko frame;
    ASSERT_TRUE(frame.Tlac->setProperty("Caption", QStringLiteral("Výchozí &hodnoty")));
    EXPECT_EQ(frame.Caption(), QStringLiteral("Výchozí &hodnoty"));
    ASSERT_TRUE(frame.setProperty("Caption", QStringLiteral("X")));
    EXPECT_EQ(frame.Tlac->Caption(), QStringLiteral("X"));

    ASSERT_TRUE(frame.setProperty("Hint", QStringLiteral("Uloží nastavení do zařízení.")));
    EXPECT_EQ(frame.Tlac->Hint(), frame.Hint());
    EXPECT_EQ(frame.toolTip(), frame.Hint());
    EXPECT_EQ(frame.Tlac->toolTip(), frame.Hint());
    frame.SetHint(QString());
    EXPECT_TRUE(frame.toolTip().isEmpty());
    EXPECT_TRUE(frame.Tlac->toolTip().isEmpty());
    EXPECT_FALSE(frame.Tlac->ShowHint());
}

TEST(TfrmTlacitko, PanelClickFiresTheFrameClickWithTheFrameAsSender)
{
    TfrmTlacitko frame;
    frame.show();
    SenderLog log;
    frame.OnClick = log.handler();
    QSignalSpy spy(&frame, &TNavFrame::clicked);

    QTest::mouseClick(frame.Tlac, Qt::LeftButton);
    EXPECT_EQ(log.senders, std::vector<QObject*>{&frame});

    // Only a left click counts, and only when released on the panel.
    QTest::mouseClick(frame.Tlac, Qt::RightButton);
    QTest::mousePress(frame.Tlac, Qt::LeftButton);
    QTest::mouseRelease(frame.Tlac, Qt::LeftButton, {}, QPoint(500, 500));
    EXPECT_EQ(log.count(), 1u);

    // The window runs a button's command by calling TlacClick itself.
    frame.TlacClick();
    EXPECT_EQ(log.count(), 2u);

    // A click on the one-pixel border is a click on the frame as well.
    QTest::mouseClick(&frame, Qt::LeftButton, {}, QPoint(0, 0));
    EXPECT_EQ(log.count(), 3u);
    EXPECT_EQ(spy.count(), 3);

    // A window may bind the panel's click elsewhere.
    SenderLog panelLog;
    frame.Tlac->OnClick = panelLog.handler();
    QTest::mouseClick(frame.Tlac, Qt::LeftButton);
    EXPECT_EQ(log.count(), 3u);
    EXPECT_EQ(panelLog.senders, std::vector<QObject*>{frame.Tlac});
}

TEST(TfrmTlacitko, TakesFocusOnHoverOnlyAsATabStop)
{
    QWidget window;
    auto* frame = new TfrmTlacitko(&window);
    window.show();
    EXPECT_FALSE(frame->TabStop());
    SendEnter(frame);
    EXPECT_NE(window.focusWidget(), frame);

    frame->SetTabStop(true);
    SendEnter(frame);
    EXPECT_EQ(window.focusWidget(), frame);
}
