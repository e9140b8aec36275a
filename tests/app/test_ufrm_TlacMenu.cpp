#include "app/ufrm_TlacMenu.h"

#include "FrameEvents.h"

#include <QTest>

#include <gtest/gtest.h>

TEST(TfrmTlacMenu, TheDesignsLooksUnderTheMouseAndTheFocus)
{
    QWidget window;
    auto* frame = new TfrmTlacMenu(&window);
    SenderLog entered, left, clicks;
    frame->SetOnMouseEnter(entered.handler());
    frame->SetOnMouseLeave(left.handler());
    frame->OnClick = clicks.handler();
    window.show();
    EXPECT_EQ(frame->size(), QSize(115, 11));

    // A selected button keeps its look but still reports the mouse.
    const struct {
        const char* step;
        std::function<void()> act;
        unsigned panel, text;
        size_t entered, left;
    } rows[] = {
        {"created", [] {}, 0x1173F8, 0xFFFFFF, 0, 0},
        {"enter", [&] { SendEnter(frame); }, 0x408000, 0xFFFFFF, 1, 0},
        {"leave", [&] { SendLeave(frame); }, 0x1173F8, 0xFFFFFF, 1, 1},
        {"selected", [&] { frame->SetSelected(true); }, 0xCAEBFF, 0x408000, 1, 1},
        {"enter selected", [&] { SendEnter(frame); }, 0xCAEBFF, 0x408000, 2, 1},
        {"leave selected", [&] { SendLeave(frame); }, 0xCAEBFF, 0x408000, 2, 2},
        {"not selected", [&] { frame->SetSelected(false); }, 0x1173F8, 0xFFFFFF, 2, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        row.act();
        EXPECT_EQ(frame->Tlac->Color(), Design(row.panel));
        EXPECT_EQ(frame->Tlac->FontColor(), Design(row.text));
        EXPECT_EQ(entered, SenderLog(row.entered, frame));
        EXPECT_EQ(left, SenderLog(row.left, frame));
    }
    QTest::mouseClick(frame->Tlac, Qt::LeftButton);
    EXPECT_EQ(clicks, SenderLog(1, frame));

    // The focus frame: $55AA00 with the focus, white without.
    SendFocus(frame, QEvent::FocusIn);
    EXPECT_EQ(frame->Color(), Design(0x55AA00));
    SendFocus(frame, QEvent::FocusOut);
    EXPECT_EQ(frame->Color(), Design(0xFFFFFF));
    EXPECT_NE(window.focusWidget(), frame);
    frame->SetTabStop(true);
    SendEnter(frame);
    EXPECT_EQ(window.focusWidget(), frame);
}
