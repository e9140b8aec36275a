// The built-in device mapping document and the document holder.

#include "ModelTestUtil.h"
#include "platform/Exception.h"
#include "support/ExceptionText.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(BuiltInMapping, FactsOfTheBuiltInDocument)
{
    auto m = BuiltInModel();
    EXPECT_EQ(m->Name(), QStringLiteral("VYN"));
    ASSERT_EQ(m->Count(), 6);
    const int items[] = {11, 11, 19, 8, 5, 9};
    const int sizes[] = {124, 130, 130, 130, 30, 124};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(m->GetPacket(i)->ItemCount(), items[i]) << i;
        EXPECT_EQ(m->GetPacket(i)->GetDataSize(), sizes[i]) << i;
    }
    EXPECT_EQ(m->GetPacket(4)->PacketType(), ptQuery);
    EXPECT_EQ(m->GetPacket(5)->PacketType(), ptSet);
    EXPECT_EQ(m->GetPacket(5)->GetHeaderCode(rkSet), Bytes("000000fd"));

    EXPECT_EQ(m->ApplyDefaults(), 43);
    EXPECT_EQ(m->GetPacket(0)->GetDataAsString().mid(24, 2), Bytes("1127"));
    EXPECT_EQ(m->GetPacket(2)->GetDataAsString().mid(82, 15), QByteArray("garnet").leftJustified(15, '\0'));
    EXPECT_EQ(m->GetValue(QStringLiteral("min_temp")), Variant(int32_t(-9999)));
    EXPECT_EQ(m->GetValue(QStringLiteral("send_interval")), Variant(uint32_t(10)));

    const TDataItem* chanels = m->FindItem(QStringLiteral("unit_chanels"));
    ASSERT_NE(chanels, nullptr);
    EXPECT_TRUE(chanels->ReadOnly());
    EXPECT_EQ(chanels->DefaultEnumIndex(), 0);
    EXPECT_EQ(chanels->GetEnumCount(), 3);
    EXPECT_EQ(m->FindItem(QStringLiteral("snmp_trap_period"))->MaxValue(), 3600);
    EXPECT_EQ(m->FindItem(QStringLiteral("unit_port"))->MinValue(), 1);

    // An answer: the read-only identity stays, terminators are re-applied.
    TDataPacket* p = m->FindPacket(QStringLiteral("SetupRecord4"));
    QByteArray answer = Record(130, 0xD4, 'A');
    answer[116] = char(0x03);
    answer[117] = char(0xEE);
    ASSERT_TRUE(p->LoadFromString(answer));
    EXPECT_EQ(p->GetDataAsString()[55], '\0');
    m->SetValue(QStringLiteral("SetupRecord4.devid_prefix"), Variant(int32_t(1)));
    EXPECT_EQ(m->GetValue(QStringLiteral("SetupRecord4.devid_prefix")).ToInt64(), 0xEE03);
    EXPECT_EQ(m->GetValue(QStringLiteral("guid")).ToText(), QByteArray(40, 'A'));
}

TEST(DocumentHolder, LoadsAWindows1250FileInPlaceOfTheBuiltInText)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VYN.dmi"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n"
               "<root><device_mapping device_type=\"VYN\"><datamanager name=\"\x8Aum\">"
               "<datapacket name=\"p\" size=\"4\">"
               "<dataitem name=\"s\" type=\"string\" size=\"4\" init_value=\"\x9A\xE8\"/>"
               "</datapacket></datamanager></device_mapping></root>");
    file.close();

    TfDM dm;
    dm.XML.LoadFromFile(path);
    dm.XML.Open();
    TDataManager m(DataManagerOf(dm.XML.Document()));
    EXPECT_EQ(m.Name(), QStringLiteral("Šum"));
    EXPECT_EQ(m.GetPacket(0)->GetDataAsString(), QByteArray("\x9A\xE8\0\0", 4));

    const QByteArray before = dm.XML.Text();
    EXPECT_THROW(dm.XML.LoadFromFile(dir.filePath(QStringLiteral("missing.dmi"))), Exception);
    EXPECT_EQ(dm.XML.Text(), before);
}

TEST(DocumentHolder, HostileDocumentsAndFiles)
{
    const auto openError = [](const QByteArray& text) {
        XmlDocumentHolder holder;
        holder.LoadFromBytes(text);
        return ExceptionText([&] { holder.Open(); });
    };
    // An external entity is never read.
    QTemporaryDir dir;
    const QString secret = dir.filePath(QStringLiteral("secret.txt"));
    QFile f(secret);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("TOPSECRET");
    f.close();
    XmlDocumentHolder holder;
    holder.LoadFromBytes("<!DOCTYPE root [<!ENTITY x SYSTEM \"file://" + secret.toUtf8()
                         + "\">]><root a=\"1\">&x;</root>");
    try {
        holder.Open();
        EXPECT_FALSE(holder.Document().toString().contains(QStringLiteral("TOPSECRET")));
    } catch (const Exception&) {
        EXPECT_FALSE(holder.Active());
    }

    // Entity expansion is bounded; deep nesting is refused before a tree is built.
    QByteArray laughs = "<!DOCTYPE root [<!ENTITY a0 \"ha\">";
    for (int i = 1; i <= 12; ++i)
        laughs += QStringLiteral("<!ENTITY a%1 \"%2\">").arg(i).arg(QStringLiteral("&a%1;").arg(i - 1).repeated(10)).toUtf8();
    EXPECT_NE(openError(laughs + "]><root>&a12;</root>"), QStringLiteral("<no exception>"));
    const QByteArray deep = QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000);
    EXPECT_TRUE(openError(deep).contains(QStringLiteral("nested")));

    // Oversized files, a device that never ends and a folder are refused.
    const QString big = dir.filePath(QStringLiteral("big.dmi"));
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(XmlDocumentHolder::MaxFileSize + 1));
    file.close();
    EXPECT_THROW(holder.LoadFromFile(big), Exception);
    EXPECT_THROW(holder.LoadFromFile(QStringLiteral("/dev/zero")), Exception);
    EXPECT_THROW(holder.LoadFromFile(dir.path()), Exception);
}
