#include "app/ufrm_LMenuH.h"
#include "app/uConst.h"

#include "FrameEvents.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

void ExpectNormalLook(const TfrmLMenuH& item)
{
    EXPECT_EQ(item.Tlac->Color(), clLMenuNormal);
    EXPECT_EQ(item.Tlac->FontColor(), clButtonHover);
    EXPECT_EQ(item.shpDole->BrushColor(), clLMenuBar);
    EXPECT_EQ(item.shpHore->BrushColor(), clLMenuBar);
}

} // namespace

TEST(TfrmLMenuH, HasAPanelBetweenTwoBars)
{
    TfrmLMenuH item;
    item.show();
    EXPECT_EQ(item.size(), QSize(202, 79));
    EXPECT_EQ(item.findChild<TShapeBar*>(QStringLiteral("shpHore")), item.shpHore);
    EXPECT_EQ(item.findChild<TShapeBar*>(QStringLiteral("shpDole")), item.shpDole);
    EXPECT_EQ(item.shpHore->geometry(), QRect(0, 0, 202, 3));
    EXPECT_EQ(item.shpDole->geometry(), QRect(0, 76, 202, 3));
    EXPECT_EQ(item.Tlac->geometry(), QRect(0, 3, 202, 73));
    EXPECT_EQ(item.shpDole->PenColor(), clLMenuBar);
    EXPECT_EQ(item.Tlac->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(item.GetCaption(), QStringLiteral("?"));
    EXPECT_TRUE(item.Tlac->Alignment() & Qt::AlignLeft); // leading blanks indent sub-items
    ExpectNormalLook(item);
}

TEST(TfrmLMenuH, HoverLooksAndEvents)
{
    TfrmLMenuH item;
    SenderLog entered, left;
    item.SetOnMouseEnter(entered.handler());
    item.SetOnMouseLeave(left.handler());

    SendEnter(&item);
    EXPECT_TRUE(item.Hovered());
    EXPECT_EQ(item.Tlac->Color(), clLMenuHover);
    EXPECT_EQ(item.Tlac->FontColor(), clButtonHover);
    EXPECT_EQ(item.shpDole->BrushColor(), clLMenuHoverBar);
    EXPECT_EQ(item.shpHore->BrushColor(), clLMenuBar);
    ASSERT_EQ(entered.count(), 1u);
    EXPECT_EQ(entered.senders[0], &item);

    SendLeave(&item);
    EXPECT_FALSE(item.Hovered());
    ExpectNormalLook(item);
    ASSERT_EQ(left.count(), 1u);
    EXPECT_EQ(left.senders[0], &item);
}

TEST(TfrmLMenuH, SelectedItemIgnoresTheMouseEnteringButReportsLeaving)
{
    TfrmLMenuH item;
    SenderLog entered, left;
    item.OnMouseEnter = entered.handler();
    item.OnMouseLeave = left.handler();

    item.SetSelected(true);
    EXPECT_EQ(item.Tlac->Color(), clLMenuSelected);
    EXPECT_EQ(item.Tlac->FontColor(), clWhite);

    SendEnter(&item);
    EXPECT_EQ(item.Tlac->Color(), clLMenuSelected);
    EXPECT_EQ(item.shpDole->BrushColor(), clLMenuBar);
    EXPECT_EQ(entered.count(), 0u);
    SendLeave(&item);
    EXPECT_EQ(item.Tlac->Color(), clLMenuSelected);
    EXPECT_EQ(left.count(), 1u);

    // Selecting a hovered item shows the selection at once.
    item.SetSelected(false);
    SendEnter(&item);
    item.SetSelected(true);
    EXPECT_FALSE(item.Hovered());
    EXPECT_EQ(item.Tlac->Color(), clLMenuSelected);
    EXPECT_EQ(item.shpDole->BrushColor(), clLMenuBar);
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
    EXPECT_TRUE(item.Inactive());
    EXPECT_EQ(item.Tlac->cursor().shape(), Qt::ArrowCursor);
    item.SetSelected(true);
    ExpectNormalLook(item);
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
    ExpectNormalLook(item);
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
    ASSERT_EQ(clicks.count(), 3u);
    for (QObject* sender : clicks.senders)
        EXPECT_EQ(sender, &item);

    QTest::mouseClick(item.shpHore, Qt::RightButton);
    EXPECT_EQ(clicks.count(), 3u);
}
