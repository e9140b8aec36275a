#include "app/ufrm_TlacMenu.h"
#include "app/uConst.h"

#include "FrameEvents.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Panel and text colours.
std::pair<QColor, QColor> Look(const TfrmTlacMenu& frame)
{
    return {frame.Tlac->Color(), frame.Tlac->FontColor()};
}

} // namespace

TEST(TfrmTlacMenu, SelectionAndHoverColoursAndEvents)
{
    TfrmTlacMenu frame;
    SenderLog entered, left;
    frame.SetOnMouseEnter(entered.handler());
    frame.SetOnMouseLeave(left.handler());
    EXPECT_EQ(frame.size(), QSize(115, 11));
    const std::pair normal(Design(0x1173F8), Design(0xFFFFFF)), selected(Design(0xCAEBFF), Design(0x408000));
    EXPECT_EQ(Look(frame), normal);

    SendEnter(&frame);
    EXPECT_EQ(Look(frame), std::pair(Design(0x408000), Design(0xFFFFFF)));
    EXPECT_EQ(left.count(), 0u);
    SendLeave(&frame);
    EXPECT_EQ(Look(frame), normal);

    // A selected button keeps its look but still reports the mouse.
    frame.SetSelected(true);
    EXPECT_EQ(Look(frame), selected);
    SendEnter(&frame);
    EXPECT_EQ(Look(frame), selected);
    SendLeave(&frame);
    EXPECT_EQ(Look(frame), selected);
    EXPECT_EQ(entered.senders, std::vector<QObject*>(2, &frame));
    EXPECT_EQ(left.senders, std::vector<QObject*>(2, &frame));
    frame.SetSelected(false);
    EXPECT_EQ(Look(frame), normal);
}

TEST(TfrmTlacMenu, ClickAndFocusColours)
{
    QWidget window;
    auto* frame = new TfrmTlacMenu(&window);
    SenderLog clicks;
    frame->OnClick = clicks.handler();
    window.show();
    QTest::mouseClick(frame->Tlac, Qt::LeftButton);
    EXPECT_EQ(clicks.senders, std::vector<QObject*>{frame});

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
    EXPECT_EQ(frame->Color(), Design(0xFFFFFF));
}
