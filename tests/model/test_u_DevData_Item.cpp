#include "ModelTestUtil.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

TEST(DataItemXml, SizesAndRanges)
{
    QByteArray rec(16, '\0');
    const std::vector<std::tuple<const char*, int, int64_t, int64_t>> table{
        {"type='number' size='2'", 16, 0, 65535},
        {"type='number' sizebits='4'", 4, 0, 15},
        {"type='number' size='1' sizebits='4'", 8, 0, 255},
        {"type='number'", 0, 0, 0},
        {"type='int' size='2'", 16, -32768, 32767},
        {"type='enum' sizebits='1'", 1, 0, 1},
        {"type='unsigned' size='8'", 64, 0, -1},
        {"type='bool' size='4'", 32, 0, 1},
        {"type='ip' size='4'", 32, 0, 4294967295},
        {"type='mac' size='6'", 48, 0, 281474976710655},
        {"type='string' size='4'", 32, 0, 0},
        {"type='hexa' size='4'", 32, 0, 0},
        // The document narrows the range; a group stops at a bad value.
        {"type='number' size='2' minvalue='1'", 16, 1, 65535},
        {"type='number' size='2' minvalue='-5'", 16, 0, 65535},
        {"type='number' size='2' minvalue='10' maxvalue='5'", 16, 10, 65535},
        {"type='int' size='2' maxvalue='9999' minvalue='-9999'", 16, -9999, 9999},
        {"type='number' size='2' minvalue='3' maxvalue='x'", 16, 3, 65535},
        {"type='number' size='2' minvalue='x' maxvalue='7'", 16, 0, 65535},
    };
    for (const auto& [attrs, bits, min, max] : table) {
        SCOPED_TRACE(attrs);
        auto item = ItemFromXml(QString::fromLatin1(attrs), rec);
        EXPECT_EQ(item->SizeBits(), bits);
        EXPECT_EQ(item->MinValue(), min);
        EXPECT_EQ(item->MaxValue(), max);
    }
    // A place that is not integer text makes no item.
    EXPECT_THROW(ItemFromXml(QStringLiteral("type='number' size='two'"), rec), EConvertError);

    EXPECT_TRUE(ItemFromXml(QStringLiteral("size='1' readonly='TRUE'"), rec)->ReadOnly());
    EXPECT_FALSE(ItemFromXml(QStringLiteral("size='1' readonly='ano'"), rec)->ReadOnly());
}

TEST(DataItemXml, NamedValuesNumberingAndDefaultMark)
{
    QByteArray rec(4, '\0');
    auto mixed = ItemFromXml(
        QStringLiteral("type='enum' size='1'"), rec,
        QStringLiteral("<enumitem name='a' value='5'/><!-- c --><enumitem name='b' default='true'/>"
                       "<enumitem value='9'/><other name='x'/><enumitem name='c' value='2'/>"
                       "<enumitem name='d' default='yes'/><enumitem name='e' value='q'/>"));
    ASSERT_EQ(mixed->GetEnumCount(), 4);
    EXPECT_EQ(mixed->GetEnumItem(1)->Value, 6);
    EXPECT_EQ(mixed->GetEnumItem(2)->Value, 2);
    EXPECT_EQ(mixed->GetEnumItem(3)->Value, 7);
    EXPECT_EQ(mixed->DefaultEnumIndex(), 1);
    auto marked = ItemFromXml(QStringLiteral("type='enum' size='1'"), rec,
                              QStringLiteral("<enumitem name='a' default='true'/><enumitem name='b' default='default'/>"));
    EXPECT_EQ(marked->GetEnumItem(1)->Value, 1);
    EXPECT_EQ(marked->DefaultEnumIndex(), 1);
    EXPECT_EQ(ItemFromXml(QStringLiteral("type='enum' size='1'"), rec)->DefaultEnumIndex(), -1);

    auto inverted = ItemFromXml(QStringLiteral("type='bool' size='1' true_value='0' false_value='1'"), rec);
    ASSERT_EQ(inverted->GetEnumCount(), 2);
    EXPECT_EQ(inverted->GetEnumItem(0)->Name + inverted->GetEnumItem(1)->Name, QStringLiteral("TrueFalse"));
    EXPECT_EQ(inverted->GetEnumItem(0)->Value, 0);
}

// Stored values hold the item as it would lie at position 0.
TEST(DataItemXml, StoredValuesAndApplyingThem)
{
    QByteArray rec(8, '\0');
    const std::tuple<const char*, QByteArray, QByteArray> table[] = {
        {"type='string' size='4' default_value=''", {}, Bytes("00000000")},
        {"type='number' size='2' default_value=''", {}, {}},
        {"type='hexa' size='2' init_value_hexa='12-34'", Bytes("1234"), {}},
        {"type='hexa' size='2' init_value='ab' init_value_hexa='12'", Bytes("ab00"), {}},
        // "true"/"false" encode as the document's raw values.
        {"type='bool' size='1' true_value='5' false_value='3' init_value='true' default_value='false'", Bytes("05"),
         Bytes("03")},
        {"type='enum' sizebits='2' bitsoffset='3' default_value='3'", {}, Bytes("18")},
        // Named values are read after the stored values, so a member name is
        // no init value, and the default value is then not read either.
        {"type='enum' size='1' init_value='AUI' default_value='1'", {}, {}},
    };
    for (const auto& [attrs, init, def] : table) {
        SCOPED_TRACE(attrs);
        auto item = ItemFromXml(QString::fromLatin1(attrs), rec, QStringLiteral("<enumitem name='AUI' value='1'/>"));
        EXPECT_EQ(item->InitValue(), init);
        EXPECT_EQ(item->DefaultValue(), def);
    }

    auto str = ItemFromXml(QStringLiteral("type='string' size='4' position='2' default_value='ab'"), rec);
    rec[2] = 'x';
    rec[5] = 'y';
    EXPECT_TRUE(str->ApplyDefault());
    EXPECT_EQ(rec, Bytes("0000616200000000"));
    EXPECT_FALSE(str->ApplyInit());
    auto ro = ItemFromXml(QStringLiteral("type='number' size='1' default_value='9' readonly='true'"), rec);
    EXPECT_TRUE(ro->ApplyDefault());
    EXPECT_EQ(rec[0], '\0');

    auto bits = ItemFromXml(QStringLiteral("type='enum' sizebits='2' bitsoffset='3' default_value='3'"), rec);
    EXPECT_EQ(bits->GetDefaultRaw(), Bytes("03"));
}
