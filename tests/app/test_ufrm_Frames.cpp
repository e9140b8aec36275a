// The three navigation frames: their looks as $BBGGRR per state, the mouse
// and focus events they report, and their clicks.
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"

#include "FrameEvents.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// One step of a frame's table: what happens, the colours it shows after it
// and how many mouse enters and leaves the frame reported so far.
struct Step {
    const char* step;
    std::function<void()> act;
    std::vector<unsigned> look;
    size_t entered, left;
};

void RunSteps(QObject* frame, const std::function<std::vector<QColor>()>& look, const std::vector<Step>& steps,
              const SenderLog& entered, const SenderLog& left)
{
    for (const Step& row : steps) {
        SCOPED_TRACE(row.step);
        row.act();
        std::vector<QColor> expected;
        for (unsigned bgr : row.look)
            expected.push_back(Design(bgr));
        EXPECT_EQ(look(), expected);
        EXPECT_EQ(entered, SenderLog(row.entered, frame));
        EXPECT_EQ(left, SenderLog(row.left, frame));
    }
}

} // namespace

TEST(TfrmLMenuH, TheDesignsLooksEventsAndClicksOfItemAndHeading)
{
    TfrmLMenuH item;
    SenderLog entered, left, clicks;
    item.SetOnMouseEnter(entered.handler());
    item.SetOnMouseLeave(left.handler());
    item.OnClick = clicks.handler();
    item.show();
    EXPECT_EQ(item.size(), QSize(202, 79));
    EXPECT_EQ(item.shpHore->geometry(), QRect(0, 0, 202, 3));
    EXPECT_EQ(item.shpDole->geometry(), QRect(0, 76, 202, 3));
    EXPECT_EQ(item.Tlac->geometry(), QRect(0, 3, 202, 73));
    EXPECT_EQ(item.Tlac->cursor().shape(), Qt::PointingHandCursor);

    // Panel, text, top bar and bottom bar.
    const std::vector<unsigned> normal{0xCAEBFF, 0x408000, 0x7FC3FF, 0x7FC3FF};
    const std::vector<unsigned> hover{0x7FC3FF, 0x408000, 0x7FC3FF, 0x1173F8};
    const std::vector<unsigned> selected{0x408000, 0xFFFFFF, 0x7FC3FF, 0x7FC3FF};
    const auto look = [&] {
        return std::vector<QColor>{item.Tlac->Color(), item.Tlac->FontColor(), item.shpHore->BrushColor(),
                                   item.shpDole->BrushColor()};
    };
    RunSteps(&item, look,
             {
                 {"created", [] {}, normal, 0, 0},
                 {"enter", [&] { SendEnter(&item); }, hover, 1, 0},
                 {"leave", [&] { SendLeave(&item); }, normal, 1, 1},
                 {"selected", [&] { item.SetSelected(true); }, selected, 1, 1},
                 {"enter selected", [&] { SendEnter(&item); }, selected, 1, 1},
                 {"leave selected", [&] { SendLeave(&item); }, selected, 1, 2},
                 {"selected while hovered",
                  [&] {
                      item.SetSelected(false);
                      SendEnter(&item);
                      item.SetSelected(true);
                  },
                  selected, 2, 2},
                 {"heading selected",
                  [&] {
                      item.SetInactive(true);
                      item.SetSelected(true);
                  },
                  normal, 2, 2},
                 {"made a heading while hovered, entered again",
                  [&] {
                      item.SetInactive(false);
                      item.SetSelected(false);
                      SendEnter(&item);
                      item.SetInactive(true);
                      SendEnter(&item);
                  },
                  normal, 3, 2},
                 {"leave heading", [&] { SendLeave(&item); }, normal, 3, 3},
             },
             entered, left);
    EXPECT_EQ(item.Tlac->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(item.Hovered());
    SendFocus(&item, QEvent::FocusOut);
    EXPECT_EQ(item.Color(), Design(0x55AA00));

    // A heading still clicks: the top bar when pressed, the bottom bar when
    // released, the panel, and a right button on a bar too.
    QTest::mousePress(item.shpHore, Qt::LeftButton);
    QTest::mouseRelease(item.shpHore, Qt::LeftButton);
    EXPECT_EQ(clicks.size(), 1u);
    QTest::mousePress(item.shpDole, Qt::LeftButton);
    EXPECT_EQ(clicks.size(), 1u);
    QTest::mouseRelease(item.shpDole, Qt::LeftButton);
    QTest::mouseClick(item.Tlac, Qt::LeftButton);
    QTest::mouseClick(item.shpHore, Qt::RightButton);
    EXPECT_EQ(clicks, SenderLog(3, &item));
}

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
    const auto look = [&] { return std::vector<QColor>{frame->Tlac->Color(), frame->Tlac->FontColor()}; };
    RunSteps(frame, look,
             {
                 {"created", [] {}, {0x1173F8, 0xFFFFFF}, 0, 0},
                 {"enter", [&] { SendEnter(frame); }, {0x408000, 0xFFFFFF}, 1, 0},
                 {"leave", [&] { SendLeave(frame); }, {0x1173F8, 0xFFFFFF}, 1, 1},
                 {"selected", [&] { frame->SetSelected(true); }, {0xCAEBFF, 0x408000}, 1, 1},
                 {"enter selected", [&] { SendEnter(frame); }, {0xCAEBFF, 0x408000}, 2, 1},
                 {"leave selected", [&] { SendLeave(frame); }, {0xCAEBFF, 0x408000}, 2, 2},
                 {"not selected", [&] { frame->SetSelected(false); }, {0x1173F8, 0xFFFFFF}, 2, 2},
             },
             entered, left);
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

TEST(TfrmTlacitko, LayoutColoursHintAndClicks)
{
    QWidget window;
    auto* frame = new TfrmTlacitko(&window);
    SenderLog clicks;
    frame->OnClick = clicks.handler();
    QSignalSpy spy(frame, &TNavFrame::clicked);
    window.show();
    EXPECT_EQ(frame->size(), QSize(115, 18));
    EXPECT_EQ(frame->Tlac->geometry(), QRect(1, 1, 113, 16));
    frame->resize(200, 30);
    EXPECT_EQ(frame->Tlac->geometry(), QRect(1, 1, 198, 28));

    // Frame, panel and text; the button reports no mouse events.
    const auto look = [&] {
        return std::vector<QColor>{frame->Color(), frame->Tlac->Color(), frame->Tlac->FontColor()};
    };
    RunSteps(frame, look,
             {
                 {"created", [] {}, {0xFFFFFF, 0x0C77ED, 0xFFFFFF}, 0, 0},
                 {"enter", [&] { SendEnter(frame); }, {0xFFFFFF, 0x408000, 0xFFFFFF}, 0, 0},
                 {"leave", [&] { SendLeave(frame); }, {0xFFFFFF, 0x1173F8, 0xFFFFFF}, 0, 0},
                 {"enter on the selection colour",
                  [&] {
                      frame->Tlac->SetColor(Design(0xCAEBFF));
                      SendEnter(frame);
                  },
                  {0xFFFFFF, 0xCAEBFF, 0xFFFFFF}, 0, 0},
             },
             {}, {});
    // Only a tab stop takes the focus under the mouse.
    EXPECT_NE(window.focusWidget(), frame);
    frame->SetTabStop(true);
    SendEnter(frame);
    EXPECT_EQ(window.focusWidget(), frame);

    // The language files set the hint by property name; it shows as the
    // tool tip, and an empty one turns hints off.
    ASSERT_TRUE(frame->setProperty("Hint", QStringLiteral("Uloží nastavení do zařízení.")));
    EXPECT_EQ(frame->toolTip(), QStringLiteral("Uloží nastavení do zařízení."));
    EXPECT_EQ(frame->Tlac->toolTip(), frame->Hint());
    frame->SetHint(QString());
    EXPECT_TRUE(frame->toolTip().isEmpty());
    EXPECT_TRUE(frame->Tlac->toolTip().isEmpty());
    EXPECT_FALSE(frame->Tlac->ShowHint());

    // A left click on the panel or the border; not a right one, nor a
    // release away from it.
    QTest::mouseClick(frame->Tlac, Qt::LeftButton);
    QTest::mouseClick(frame->Tlac, Qt::RightButton);
    QTest::mousePress(frame->Tlac, Qt::LeftButton);
    QTest::mouseRelease(frame->Tlac, Qt::LeftButton, {}, QPoint(500, 500));
    EXPECT_EQ(clicks.size(), 1u);
    frame->TlacClick();
    QTest::mouseClick(frame, Qt::LeftButton, {}, QPoint(0, 0));
    EXPECT_EQ(clicks, SenderLog(3, frame));
    EXPECT_EQ(spy.count(), 3);
}
