#include "app/ufrm_Tlacitko.h"
#include "app/uConst.h"

#include "FrameEvents.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

TEST(TfrmTlacitko, LayoutAndColoursUnderTheMouse)
{
    EXPECT_EQ(ColorFromRef(0x1173F8), QColor(0xF8, 0x73, 0x11));
    QWidget window;
    auto* frame = new TfrmTlacitko(&window);
    window.show();
    EXPECT_EQ(frame->size(), QSize(115, 18));
    EXPECT_EQ(frame->Tlac->geometry(), QRect(1, 1, 113, 16));
    EXPECT_EQ(frame->Color(), Design(0xFFFFFF));
    EXPECT_EQ(frame->Tlac->FontColor(), Design(0xFFFFFF));
    frame->resize(200, 30);
    EXPECT_EQ(frame->Tlac->geometry(), QRect(1, 1, 198, 28));

    const struct {
        const char* step;
        std::function<void()> act;
        unsigned panel;
    } rows[] = {
        {"created", [] {}, 0x0C77ED},
        {"enter", [&] { SendEnter(frame); }, 0x408000},
        {"leave", [&] { SendLeave(frame); }, 0x1173F8},
        {"enter on the selection colour",
         [&] {
             frame->Tlac->SetColor(Design(0xCAEBFF));
             SendEnter(frame);
         },
         0xCAEBFF},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        row.act();
        EXPECT_EQ(frame->Tlac->Color(), Design(row.panel));
    }
    // Only a tab stop takes the focus under the mouse.
    EXPECT_NE(window.focusWidget(), frame);
    frame->SetTabStop(true);
    SendEnter(frame);
    EXPECT_EQ(window.focusWidget(), frame);
}

// The language files set them by property name.
TEST(TfrmTlacitko, CaptionAndHintByPropertyNameAndEmptyHintTurnsHintsOff)
{
    TfrmTlacitko frame;
    ASSERT_TRUE(frame.Tlac->setProperty("Caption", QStringLiteral("Výchozí &hodnoty")));
    EXPECT_EQ(frame.Caption(), QStringLiteral("Výchozí &hodnoty"));
    ASSERT_TRUE(frame.setProperty("Hint", QStringLiteral("Uloží nastavení do zařízení.")));
    EXPECT_EQ(frame.toolTip(), QStringLiteral("Uloží nastavení do zařízení."));
    EXPECT_EQ(frame.Tlac->toolTip(), frame.Hint());
    frame.SetHint(QString());
    EXPECT_TRUE(frame.toolTip().isEmpty());
    EXPECT_TRUE(frame.Tlac->toolTip().isEmpty());
    EXPECT_FALSE(frame.Tlac->ShowHint());
}

TEST(TfrmTlacitko, ALeftClickOnThePanelOrBorderClicksTheFrame)
{
    TfrmTlacitko frame;
    frame.show();
    SenderLog log;
    frame.OnClick = log.handler();
    QSignalSpy spy(&frame, &TNavFrame::clicked);

    QTest::mouseClick(frame.Tlac, Qt::LeftButton);
    QTest::mouseClick(frame.Tlac, Qt::RightButton);
    QTest::mousePress(frame.Tlac, Qt::LeftButton);
    QTest::mouseRelease(frame.Tlac, Qt::LeftButton, {}, QPoint(500, 500));
    EXPECT_EQ(log.size(), 1u);
    frame.TlacClick();
    QTest::mouseClick(&frame, Qt::LeftButton, {}, QPoint(0, 0));
    EXPECT_EQ(log, SenderLog(3, &frame));
    EXPECT_EQ(spy.count(), 3);
}
