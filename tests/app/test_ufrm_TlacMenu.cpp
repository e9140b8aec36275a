#include "app/ufrm_TlacMenu.h"
#include "app/uConst.h"

#include "FrameEvents.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

TEST(TfrmTlacMenu, SelectionSwitchesColours)
{
    TfrmTlacMenu frame;
    EXPECT_EQ(frame.size(), QSize(115, 11));
    EXPECT_FALSE(frame.Selected());
    EXPECT_EQ(frame.Tlac->Color(), clButtonNormal);
    EXPECT_EQ(frame.Tlac->FontColor(), clWhite);
    frame.SetSelected(true);
    EXPECT_EQ(frame.Tlac->Color(), clMenuSelected);
    EXPECT_EQ(frame.Tlac->FontColor(), clButtonHover);
    frame.SetSelected(false);
    EXPECT_EQ(frame.Tlac->Color(), clButtonNormal);
    EXPECT_EQ(frame.Tlac->FontColor(), clWhite);
}

TEST(TfrmTlacMenu, HoverShowsTheHoverLookAndReportsEnterAndLeave)
{
    TfrmTlacMenu frame;
    SenderLog entered, left;
    frame.SetOnMouseEnter(entered.handler());
    frame.SetOnMouseLeave(left.handler());

    SendEnter(&frame);
    EXPECT_EQ(frame.Tlac->Color(), clButtonHover);
    EXPECT_EQ(frame.Tlac->FontColor(), clWhite);
    ASSERT_EQ(entered.count(), 1u);
    EXPECT_EQ(entered.senders[0], &frame);
    EXPECT_EQ(left.count(), 0u);

    SendLeave(&frame);
    EXPECT_EQ(frame.Tlac->Color(), clButtonNormal);
    ASSERT_EQ(left.count(), 1u);
    EXPECT_EQ(left.senders[0], &frame);
}

TEST(TfrmTlacMenu, SelectedButtonKeepsItsLookButStillReportsTheMouse)
{
    TfrmTlacMenu frame;
    SenderLog entered, left;
    frame.OnMouseEnter = entered.handler();
    frame.OnMouseLeave = left.handler();
    frame.SetSelected(true);

    SendEnter(&frame);
    EXPECT_EQ(frame.Tlac->Color(), clMenuSelected);
    EXPECT_EQ(frame.Tlac->FontColor(), clButtonHover);
    SendLeave(&frame);
    EXPECT_EQ(frame.Tlac->Color(), clMenuSelected);
    EXPECT_TRUE(frame.Selected());
    EXPECT_EQ(entered.count(), 1u);
    EXPECT_EQ(left.count(), 1u);
}

TEST(TfrmTlacMenu, ClickAndFocusColours)
{
    QWidget window;
    auto* frame = new TfrmTlacMenu(&window);
    SenderLog clicks;
    frame->OnClick = clicks.handler();
    window.show();
    QTest::mouseClick(frame->Tlac, Qt::LeftButton);
    ASSERT_EQ(clicks.count(), 1u);
    EXPECT_EQ(clicks.senders[0], frame);

    // Without a tab stop the mouse never moves the focus.
    SendEnter(frame);
    EXPECT_NE(window.focusWidget(), frame);

    // A focused top-menu button shows a green frame; white again without focus.
    frame->SetTabStop(true);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    SendEnter(frame);
    EXPECT_TRUE(frame->hasFocus());
    EXPECT_EQ(frame->Color(), clFocusFrame);
    frame->clearFocus();
    EXPECT_EQ(frame->Color(), clWhite);
}
