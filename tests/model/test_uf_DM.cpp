#include "ModelTestUtil.h"
#include "platform/Exception.h"
#include "platform/TestFiles.h"
#include "support/BoundedChild.h"
#include "support/ExceptionText.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(BuiltInMapping, FactsOfTheBuiltInDocument)
{
    auto m = BuiltInModel();
    EXPECT_EQ(m->Name(), QStringLiteral("VYN"));
    ASSERT_EQ(m->Count(), 6);
    EXPECT_EQ(m->GetPacket(2)->ItemCount(), 19);
    EXPECT_EQ(m->GetPacket(4)->GetDataSize(), 30);

    EXPECT_EQ(m->ApplyDefaults(), 43);
    EXPECT_EQ(m->GetPacket(2)->GetDataAsString().mid(82, 15), QByteArray("garnet").leftJustified(15, '\0'));
    EXPECT_EQ(m->FindItem(QStringLiteral("unit_chanels"))->DefaultEnumIndex(), 0);
    EXPECT_EQ(m->FindItem(QStringLiteral("snmp_trap_period"))->MaxValue(), 3600);
}

TEST(DocumentHolder, FilesInPlaceOfTheBuiltInText)
{
    QTemporaryDir dir;
    const auto write = [&](const char* name, const QByteArray& text) {
        writeFile(dir.filePath(QLatin1String(name)), text);
        return dir.filePath(QLatin1String(name));
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
    // text held stays. Each in a child of its own: a reader that lost its
    // bound would read the device until the machine ran out of memory.
    const QByteArray before = dm.XML.Text();
    for (const QString& path : {dir.filePath(QStringLiteral("missing.dmi")),
                                write("big.dmi", QByteArray(16 * 1024 * 1024 + 1, ' ')), QStringLiteral("/dev/zero"),
                                dir.path()}) {
        const BoundedEnd end = RunBounded([&]() -> std::string {
            try {
                dm.XML.LoadFromFile(path);
                return "loaded";
            } catch (const Exception&) {
                return dm.XML.Text() == before ? "refused" : "refused, the text held changed";
            }
        });
        EXPECT_EQ(end.Text + end.Fault, "refused") << path.toStdString();
    }
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
    const QString secret = dir.filePath(QStringLiteral("secret.txt"));
    writeFile(secret, "TOPSECRET");
    XmlDocumentHolder holder;
    holder.LoadFromBytes("<!DOCTYPE root [<!ENTITY x SYSTEM \"file://" + secret.toUtf8()
                         + "\">]><root a=\"1\">&x;</root>");
    const bool refused = ExceptionText([&] { holder.Open(); }) != QStringLiteral("<no exception>");
    EXPECT_TRUE(refused || !holder.Document().toString().contains(QStringLiteral("TOPSECRET")));

    // Entity expansion is bounded; deep nesting is refused before a tree is built.
    QByteArray laughs = "<!DOCTYPE root [<!ENTITY a0 \"ha\">";
    for (int i = 1; i <= 12; ++i)
        laughs += QStringLiteral("<!ENTITY a%1 \"%2\">").arg(i).arg(QStringLiteral("&a%1;").arg(i - 1).repeated(10)).toUtf8();
    EXPECT_NE(openError(laughs + "]><root>&a12;</root>"), QStringLiteral("<no exception>"));
    const QByteArray deep = QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000);
    EXPECT_TRUE(openError(deep).contains(QStringLiteral("nested")));
}
