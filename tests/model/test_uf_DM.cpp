// The built-in device mapping document and the document holder.

#include "ModelTestUtil.h"
#include "platform/Exception.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString OpenError(const QByteArray& text)
{
    XmlDocumentHolder holder;
    holder.LoadFromBytes(text);
    try {
        holder.Open();
    } catch (const Exception& e) {
        EXPECT_FALSE(holder.Active());
        EXPECT_TRUE(holder.DocumentElement().isNull());
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

} // namespace

TEST(BuiltInMapping, FactsOfTheBuiltInDocument)
{
    TfDM dm;
    dm.XML.Open();
    const QDomElement mapping = dm.XML.DocumentElement().firstChildElement(QStringLiteral("device_mapping"));
    EXPECT_EQ(mapping.attribute(QStringLiteral("device_type")), QStringLiteral("VYN"));

    TDataManager m(DataManagerOf(dm.XML.Document()));
    EXPECT_EQ(m.Name(), QStringLiteral("VYN"));
    ASSERT_EQ(m.Count(), 6);
    const int items[] = {11, 11, 19, 8, 5, 9};
    const int sizes[] = {124, 130, 130, 130, 30, 124};
    int withDefault = 0;
    for (int i = 0; i < 6; ++i) {
        TDataPacket* p = m.GetPacket(i);
        EXPECT_EQ(p->ItemCount(), items[i]) << i;
        EXPECT_EQ(p->GetDataSize(), sizes[i]) << i;
        for (int k = 0; k < p->ItemCount(); ++k)
            withDefault += p->Items(k)->HasDefaultValue() ? 1 : 0;
    }
    EXPECT_EQ(withDefault, 43);
    EXPECT_EQ(m.GetPacket(4)->PacketType(), ptQuery);
    EXPECT_EQ(m.GetPacket(5)->PacketType(), ptSet);
    EXPECT_EQ(m.GetPacket(5)->GetHeaderCode(rkSet), Bytes("000000fd"));

    EXPECT_EQ(m.ApplyDefaults(), 43);
    EXPECT_EQ(m.GetPacket(0)->GetDataAsString().mid(24, 2), Bytes("1127"));
    EXPECT_EQ(m.GetPacket(2)->GetDataAsString().mid(82, 15), QByteArray("garnet").leftJustified(15, '\0'));
    EXPECT_EQ(m.GetPacket(3)->GetDataAsString().mid(106, 23), QByteArray("VYN").leftJustified(23, '\0'));
    EXPECT_EQ(m.GetValue(QStringLiteral("min_temp")), Variant(int32_t(-9999)));
    EXPECT_EQ(m.GetValue(QStringLiteral("send_interval")), Variant(uint32_t(10)));

    // Items the settings pages and the link rely on.
    const TDataItem* chanels = m.FindItem(QStringLiteral("unit_chanels"));
    ASSERT_NE(chanels, nullptr);
    EXPECT_TRUE(chanels->ReadOnly());
    EXPECT_EQ(chanels->DefaultEnumIndex(), 0);
    EXPECT_EQ(chanels->GetEnumCount(), 3);
    const TDataItem* trap = m.FindItem(QStringLiteral("snmp_trap_period"));
    EXPECT_EQ(trap->MaxValue(), 3600);
    EXPECT_EQ(m.FindItem(QStringLiteral("unit_port"))->MinValue(), 1);
    EXPECT_TRUE(m.FindItem(QStringLiteral("SetupRecord4.device_type"))->ReadOnly());
}

TEST(BuiltInMapping, ReadOnlyIdentityAndTerminators)
{
    auto m = BuiltInModel();
    TDataPacket* p = m->FindPacket(QStringLiteral("SetupRecord4"));
    QByteArray answer = Record(130, 0xD4, 'A');
    answer[116] = char(0x03);
    answer[117] = char(0xEE);
    ASSERT_TRUE(p->LoadFromString(answer));
    EXPECT_EQ(m->GetValue(QStringLiteral("SetupRecord4.devid_prefix")).ToInt64(), 0xEE03);
    EXPECT_EQ(p->GetDataAsString()[55], '\0');  // guid_n re-applied
    m->SetValue(QStringLiteral("SetupRecord4.devid_prefix"), Variant(int32_t(1)));
    EXPECT_EQ(m->GetValue(QStringLiteral("SetupRecord4.devid_prefix")).ToInt64(), 0xEE03);
    EXPECT_EQ(m->GetValue(QStringLiteral("guid")).ToText(), QByteArray(40, 'A'));
}

TEST(DocumentHolder, LoadsAFileInPlaceOfTheBuiltInText)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("VYN.dmi"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // A windows-1250 file is decoded from its declaration.
    file.write("<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n"
               "<root><device_mapping device_type=\"VYN\"><datamanager name=\"\x8Aum\">"
               "<datapacket name=\"p\" size=\"4\">"
               "<dataitem name=\"s\" type=\"string\" size=\"4\" init_value=\"\x9A\xE8\"/>"
               "</datapacket></datamanager></device_mapping></root>");
    file.close();

    TfDM dm;
    dm.XML.Open();
    dm.XML.LoadFromFile(path);
    EXPECT_FALSE(dm.XML.Active());
    dm.XML.Open();
    TDataManager m(DataManagerOf(dm.XML.Document()));
    EXPECT_EQ(m.Name(), QStringLiteral("Šum"));
    ASSERT_EQ(m.Count(), 1);
    EXPECT_EQ(m.GetPacket(0)->GetDataAsString(), QByteArray("\x9A\xE8\0\0", 4));

    const QByteArray before = dm.XML.Text();
    EXPECT_THROW(dm.XML.LoadFromFile(dir.filePath(QStringLiteral("missing.dmi"))), Exception);
    EXPECT_EQ(dm.XML.Text(), before);
    EXPECT_TRUE(dm.XML.Active());
}

TEST(DocumentHolder, ParseErrorsNameLineAndColumn)
{
    const QString message = OpenError("<root>\n  <a></b>\n</root>");
    EXPECT_TRUE(message.contains(QStringLiteral("(line 2, column")) ) << message.toStdString();
    EXPECT_NE(OpenError(QByteArray()), QStringLiteral("<no exception>"));
    EXPECT_NE(OpenError("<root>"), QStringLiteral("<no exception>"));
    EXPECT_NE(OpenError(QByteArray("\0\0\0", 3)), QStringLiteral("<no exception>"));
}

TEST(DocumentHolder, HostileDocuments)
{
    // An external entity is never read.
    QTemporaryDir dir;
    const QString secret = dir.filePath(QStringLiteral("secret.txt"));
    QFile f(secret);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("TOPSECRET");
    f.close();
    const QByteArray external = "<!DOCTYPE root [<!ENTITY x SYSTEM \"file://" + secret.toUtf8()
                                + "\">]><root a=\"1\">&x;</root>";
    XmlDocumentHolder holder;
    holder.LoadFromBytes(external);
    try {
        holder.Open();
        EXPECT_FALSE(holder.Document().toString().contains(QStringLiteral("TOPSECRET")));
    } catch (const Exception&) {
        EXPECT_FALSE(holder.Active());
    }

    // Entity expansion is bounded.
    QByteArray laughs = "<!DOCTYPE root [<!ENTITY a0 \"ha\">";
    for (int i = 1; i <= 12; ++i)
        laughs += QStringLiteral("<!ENTITY a%1 \"&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;\">")
                      .arg(i)
                      .arg(i - 1)
                      .toUtf8();
    laughs += "]><root>&a12;</root>";
    EXPECT_NE(OpenError(laughs), QStringLiteral("<no exception>"));

    // Deep nesting is refused before a tree is built.
    const QByteArray deep = QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000);
    EXPECT_TRUE(OpenError(deep).contains(QStringLiteral("nested")));
}

TEST(DocumentHolder, OversizedAndSpecialFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.dmi"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(XmlDocumentHolder::MaxFileSize + 1));
    file.close();
    XmlDocumentHolder holder;
    EXPECT_THROW(holder.LoadFromFile(path), Exception);
    EXPECT_TRUE(holder.Text().isEmpty());
    // A device that never ends is cut off at the limit, not read forever.
    if (QFile::exists(QStringLiteral("/dev/zero"))) {
        EXPECT_THROW(holder.LoadFromFile(QStringLiteral("/dev/zero")), Exception);
    }
    EXPECT_THROW(holder.LoadFromFile(dir.path()), Exception);
}
