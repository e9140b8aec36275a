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
    EXPECT_EQ(m->GetPacket(2)->ItemCount(), 19);
    EXPECT_EQ(m->GetPacket(4)->GetDataSize(), 30);
    EXPECT_EQ(m->GetPacket(4)->PacketType(), ptQuery);
    EXPECT_EQ(m->GetPacket(5)->PacketType(), ptSet);
    EXPECT_EQ(m->GetPacket(5)->GetHeaderCode(rkSet), Bytes("000000fd"));

    EXPECT_EQ(m->ApplyDefaults(), 43);
    EXPECT_EQ(m->GetPacket(0)->GetDataAsString().mid(24, 2), Bytes("1127"));
    EXPECT_EQ(m->GetPacket(2)->GetDataAsString().mid(82, 15), QByteArray("garnet").leftJustified(15, '\0'));
    EXPECT_EQ(m->GetValue(QStringLiteral("send_interval")), Variant(uint32_t(10)));
    EXPECT_EQ(m->FindItem(QStringLiteral("unit_chanels"))->DefaultEnumIndex(), 0);
    EXPECT_EQ(m->FindItem(QStringLiteral("snmp_trap_period"))->MaxValue(), 3600);
}

TEST(DocumentHolder, FilesInPlaceOfTheBuiltInText)
{
    QTemporaryDir dir;
    const auto write = [&](const char* name, const QByteArray& text, qint64 size = -1) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        if (size >= 0)
            EXPECT_TRUE(file.resize(size));
        return file.fileName();
    };
    TfDM dm;
    dm.XML.LoadFromFile(write("VYN.dmi", "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n"
                                         "<root><device_mapping device_type=\"VYN\"><datamanager name=\"\x8Aum\">"
                                         "<datapacket name=\"p\" size=\"4\">"
                                         "<dataitem name=\"s\" type=\"string\" size=\"4\" init_value=\"\x9A\xE8\"/>"
                                         "</datapacket></datamanager></device_mapping></root>"));
    dm.XML.Open();
    TDataManager m(DataManagerOf(dm.XML.Document()));
    EXPECT_EQ(m.Name(), QStringLiteral("Šum"));
    EXPECT_EQ(m.GetPacket(0)->GetDataAsString(), QByteArray("\x9A\xE8\0\0", 4));

    // Missing, oversized and endless files and folders are refused; the
    // text held stays.
    const QByteArray before = dm.XML.Text();
    for (const QString& path : {dir.filePath(QStringLiteral("missing.dmi")),
                                write("big.dmi", {}, XmlDocumentHolder::MaxFileSize + 1), QStringLiteral("/dev/zero"),
                                dir.path()})
        EXPECT_THROW(dm.XML.LoadFromFile(path), Exception) << path.toStdString();
    EXPECT_EQ(dm.XML.Text(), before);
}

TEST(DocumentHolder, HostileDocuments)
{
    const auto openError = [](const QByteArray& text) {
        XmlDocumentHolder holder;
        holder.LoadFromBytes(text);
        return ExceptionText([&] { holder.Open(); });
    };
    // An external entity is never read.
    QTemporaryDir dir;
    QFile secret(dir.filePath(QStringLiteral("secret.txt")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly) && secret.write("TOPSECRET") == 9);
    secret.close();
    XmlDocumentHolder holder;
    holder.LoadFromBytes("<!DOCTYPE root [<!ENTITY x SYSTEM \"file://" + secret.fileName().toUtf8()
                         + "\">]><root a=\"1\">&x;</root>");
    if (ExceptionText([&] { holder.Open(); }) == QStringLiteral("<no exception>"))
        EXPECT_FALSE(holder.Document().toString().contains(QStringLiteral("TOPSECRET")));

    // Entity expansion is bounded; deep nesting is refused before a tree is built.
    QByteArray laughs = "<!DOCTYPE root [<!ENTITY a0 \"ha\">";
    for (int i = 1; i <= 12; ++i)
        laughs += QStringLiteral("<!ENTITY a%1 \"%2\">").arg(i).arg(QStringLiteral("&a%1;").arg(i - 1).repeated(10)).toUtf8();
    EXPECT_NE(openError(laughs + "]><root>&a12;</root>"), QStringLiteral("<no exception>"));
    const QByteArray deep = QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000);
    EXPECT_TRUE(openError(deep).contains(QStringLiteral("nested")));
}
