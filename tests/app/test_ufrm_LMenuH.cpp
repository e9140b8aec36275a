#include "app/ufrm_LMenuH.h"
#include "app/uConst.h"

#include "FrameEvents.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// Panel, text, top bar and bottom bar colours.
std::vector<QColor> Look(const TfrmLMenuH& item)
{
    return {item.Tlac->Color(), item.Tlac->FontColor(), item.shpHore->BrushColor(), item.shpDole->BrushColor()};
}

// Functions, as the colours are globals of another unit.
std::vector<QColor> Normal() { return {Design(0xCAEBFF), Design(0x408000), Design(0x7FC3FF), Design(0x7FC3FF)}; }
std::vector<QColor> Hover() { return {Design(0x7FC3FF), Design(0x408000), Design(0x7FC3FF), Design(0x1173F8)}; }
std::vector<QColor> Selected() { return {Design(0x408000), Design(0xFFFFFF), Design(0x7FC3FF), Design(0x7FC3FF)}; }

} // namespace

TEST(TfrmLMenuH, HasAPanelBetweenTwoBars)
{
    TfrmLMenuH item;
    item.show();
    EXPECT_EQ(item.size(), QSize(202, 79));
    EXPECT_EQ(item.shpHore->geometry(), QRect(0, 0, 202, 3));
    EXPECT_EQ(item.shpDole->geometry(), QRect(0, 76, 202, 3));
    EXPECT_EQ(item.Tlac->geometry(), QRect(0, 3, 202, 73));
    EXPECT_TRUE(item.Tlac->Alignment() & Qt::AlignLeft); // leading blanks indent sub-items
    EXPECT_EQ(Look(item), Normal());
}

TEST(TfrmLMenuH, HoverAndSelectionLooksAndEvents)
{
    TfrmLMenuH item;
    SenderLog entered, left;
    item.SetOnMouseEnter(entered.handler());
    item.SetOnMouseLeave(left.handler());

    SendEnter(&item);
    EXPECT_TRUE(item.Hovered());
    EXPECT_EQ(Look(item), Hover());
    SendLeave(&item);
    EXPECT_FALSE(item.Hovered());
    EXPECT_EQ(Look(item), Normal());
    EXPECT_EQ(entered.senders, std::vector<QObject*>{&item});
    EXPECT_EQ(left.senders, std::vector<QObject*>{&item});

    // A selected item ignores the mouse entering but reports it leaving.
    item.SetSelected(true);
    EXPECT_EQ(Look(item), Selected());
    SendEnter(&item);
    EXPECT_EQ(Look(item), Selected());
    EXPECT_EQ(entered.count(), 1u);
    SendLeave(&item);
    EXPECT_EQ(Look(item), Selected());
    EXPECT_EQ(left.count(), 2u);

    // Selecting a hovered item shows the selection at once.
    item.SetSelected(false);
    SendEnter(&item);
    item.SetSelected(true);
    EXPECT_FALSE(item.Hovered());
    EXPECT_EQ(Look(item), Selected());
}

TEST(TfrmLMenuH, InactiveHeadingShowsNeitherHoverNorSelection)
{
    TfrmLMenuH item;
    SenderLog entered, left, clicks;
    item.OnMouseEnter = entered.handler();
    item.OnMouseLeave = left.handler();
    item.OnClick = clicks.handler();
    item.show();

    item.SetInactive(true);
    EXPECT_EQ(item.Tlac->cursor().shape(), Qt::ArrowCursor);
    item.SetSelected(true);
    EXPECT_EQ(Look(item), Normal());
    item.SetSelected(false);

    // Made a heading while hovered: entering again resets the look and
    // reports nothing.
    item.SetInactive(false);
    SendEnter(&item);
    item.SetInactive(true);
    entered.senders.clear();
    SendEnter(&item);
    EXPECT_FALSE(item.Selected());
    EXPECT_FALSE(item.Hovered());
    EXPECT_EQ(Look(item), Normal());
    EXPECT_EQ(entered.count(), 0u);

    SendLeave(&item);
    EXPECT_EQ(left.count(), 1u);
    QTest::mouseClick(item.Tlac, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1u);

    item.SetInactive(false);
    EXPECT_EQ(item.Tlac->cursor().shape(), Qt::PointingHandCursor);
}

TEST(TfrmLMenuH, BarsClickTheItemOnce)
{
    TfrmLMenuH item;
    SenderLog clicks;
    item.OnClick = clicks.handler();
    item.show();

    // The top bar clicks when pressed, the bottom bar when released.
    QTest::mousePress(item.shpHore, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1u);
    QTest::mouseRelease(item.shpHore, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1u);
    QTest::mousePress(item.shpDole, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1u);
    QTest::mouseRelease(item.shpDole, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 2u);
    QTest::mouseClick(item.Tlac, Qt::LeftButton);
    QTest::mouseClick(item.shpHore, Qt::RightButton);
    EXPECT_EQ(clicks.senders, std::vector<QObject*>(3, &item));
}
