#include "app/ufrm_LMenuH.h"

#include "FrameEvents.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// Panel, text, top bar and bottom bar colours.
std::vector<QColor> Look(const TfrmLMenuH& item)
{
    return {item.Tlac->Color(), item.Tlac->FontColor(), item.shpHore->BrushColor(), item.shpDole->BrushColor()};
}

std::vector<QColor> Colours(unsigned panel, unsigned text, unsigned top, unsigned bottom)
{
    return {Design(panel), Design(text), Design(top), Design(bottom)};
}

} // namespace

TEST(TfrmLMenuH, TheDesignsLooksAndEventsOfItemAndHeading)
{
    TfrmLMenuH item;
    SenderLog entered, left;
    item.SetOnMouseEnter(entered.handler());
    item.SetOnMouseLeave(left.handler());
    item.show();
    EXPECT_EQ(item.size(), QSize(202, 79));
    EXPECT_EQ(item.shpHore->geometry(), QRect(0, 0, 202, 3));
    EXPECT_EQ(item.shpDole->geometry(), QRect(0, 76, 202, 3));
    EXPECT_EQ(item.Tlac->geometry(), QRect(0, 3, 202, 73));

    const auto normal = Colours(0xCAEBFF, 0x408000, 0x7FC3FF, 0x7FC3FF);
    const auto hover = Colours(0x7FC3FF, 0x408000, 0x7FC3FF, 0x1173F8);
    const auto selected = Colours(0x408000, 0xFFFFFF, 0x7FC3FF, 0x7FC3FF);
    const struct {
        const char* step;
        std::function<void()> act;
        std::vector<QColor> look;
        size_t entered, left;
        Qt::CursorShape cursor;
    } rows[] = {
        {"created", [] {}, normal, 0, 0, Qt::PointingHandCursor},
        {"enter", [&] { SendEnter(&item); }, hover, 1, 0, Qt::PointingHandCursor},
        {"leave", [&] { SendLeave(&item); }, normal, 1, 1, Qt::PointingHandCursor},
        {"selected", [&] { item.SetSelected(true); }, selected, 1, 1, Qt::PointingHandCursor},
        {"enter selected", [&] { SendEnter(&item); }, selected, 1, 1, Qt::PointingHandCursor},
        {"leave selected", [&] { SendLeave(&item); }, selected, 1, 2, Qt::PointingHandCursor},
        {"selected while hovered",
         [&] {
             item.SetSelected(false);
             SendEnter(&item);
             item.SetSelected(true);
         },
         selected, 2, 2, Qt::PointingHandCursor},
        {"heading selected",
         [&] {
             item.SetInactive(true);
             item.SetSelected(true);
         },
         normal, 2, 2, Qt::ArrowCursor},
        {"made a heading while hovered, entered again",
         [&] {
             item.SetInactive(false);
             item.SetSelected(false);
             SendEnter(&item);
             item.SetInactive(true);
             SendEnter(&item);
         },
         normal, 3, 2, Qt::ArrowCursor},
        {"leave heading", [&] { SendLeave(&item); }, normal, 3, 3, Qt::ArrowCursor},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        row.act();
        EXPECT_EQ(Look(item), row.look);
        EXPECT_EQ(entered, SenderLog(row.entered, &item));
        EXPECT_EQ(left, SenderLog(row.left, &item));
        EXPECT_EQ(item.Tlac->cursor().shape(), row.cursor);
    }
    EXPECT_FALSE(item.Hovered());
    SendFocus(&item, QEvent::FocusOut);
    EXPECT_EQ(item.Color(), Design(0x55AA00));
}

TEST(TfrmLMenuH, PanelAndBarsClickTheItemOnce)
{
    TfrmLMenuH item;
    SenderLog clicks;
    item.OnClick = clicks.handler();
    item.SetInactive(true); // a heading still clicks
    item.show();

    // The top bar clicks when pressed, the bottom bar when released.
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
