#include "storage/DateTimeDays.h"

#include <gtest/gtest.h>

#include <limits>

using namespace datetimedays;

TEST(DateTimeDays, DaysSinceTheEpochAndTheContainerForm)
{
    EXPECT_DOUBLE_EQ(Encode(QDate(1900, 1, 1), QTime(12, 0)), 2.5);
    // Before the epoch the time of day still counts forwards from midnight.
    EXPECT_DOUBLE_EQ(Encode(QDate(1899, 12, 29), QTime(6, 0)), -1.25);
    EXPECT_EQ(*Decode(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));

    // The container's text drops midnight and milliseconds.
    EXPECT_EQ(*FormatMfs(Encode(QDate(2024, 3, 5), QTime(14, 7, 9, 500))), "2024-03-05 14:07:09");
    EXPECT_EQ(*FormatMfs(Encode(QDate(2024, 3, 5), QTime(0, 0, 0, 999))), "2024-03-05");
    EXPECT_EQ(*FormatMfs(Encode(QDate(99, 1, 2), QTime(1, 2, 3))), "0099-01-02 01:02:03");
    for (double outside : {std::numeric_limits<double>::quiet_NaN(), 1e300, -700000.0})
        EXPECT_FALSE(FormatMfs(outside)) << outside;

    for (const auto& [text, time] : {std::pair{"  2024-3-5   14:7:9 ", QTime(14, 7, 9)}, {"2024-03-05", QTime(0, 0)},
                                     {"2024-03-05 14:07", QTime(14, 7)}, {"2024-03-05 14:07:09.5", QTime(14, 7, 9, 500)}})
        EXPECT_DOUBLE_EQ(*ParseMfs(text), Encode(QDate(2024, 3, 5), time)) << text;
    for (const char* junk : {"", "2024", "2024-13-01", "2024-02-30", "0000-01-01", "2024-03-05x", "2024-03-05 25:00",
                             "2024-03-05 14", "2024-03-05 14:07:09 PM", "20240-01-01", "2024-03-05 14:07:60"})
        EXPECT_FALSE(ParseMfs(junk)) << junk;
}
