#include "lang/uXmlUtils.h"

#include "platform/Exception.h"

#include "support/ExceptionText.h"

#include <gtest/gtest.h>

namespace {

QString parseError(const QByteArray& bytes)
{
    return ExceptionText([&] { TXmlDocument::Parse(bytes, QStringLiteral("test.lng")); });
}

} // namespace

TEST(XmlUtils, ParseKeepsElementsAndAttributesInDocumentOrder)
{
    const TXmlDocument doc = TXmlDocument::Parse("<?xml version=\"1.0\"?>\n<!-- c --><lang>text<z/><a j=\"1\" i=\"2\" "
                                                 "h=\"3\" b=\"\" a=\"&lt;&amp;&#x159;\"><!-- c --><x/>t<?pi x?><y/>"
                                                 "</a><a/></lang>",
                                                 QStringLiteral("t"));
    ASSERT_EQ(doc.DocumentElement().Children().size(), 3u);
    const TXmlElement* a = doc.DocumentElement().FirstChild("a");
    EXPECT_EQ(a->Children().size(), 2u);
    EXPECT_EQ(GetAttr(a, "a", "d"), QString::fromUtf8("<&ř"));
    EXPECT_EQ(doc.DocumentElement().FirstChild("A"), nullptr);
}

TEST(XmlUtils, BadDocumentsGiveTheParsersErrorWithPlace)
{
    EXPECT_EQ(parseError("<lang><const></lang>"), "test.lng: Opening and ending tag mismatch. (line 1, column 20)");
    for (const QByteArray& bad : {QByteArray("<lang><const><a text=\"x"), QByteArray(),
                                  QByteArray("\x00\x01\x02garbage", 10), QByteArray("<a/><b/>"),
                                  QByteArray("<a x=\"1\" x=\"2\"/>"),
                                  QByteArray("<?xml version=\"1.0\" encoding=\"nonsense\"?><a/>")})
        EXPECT_TRUE(parseError(bad).startsWith("test.lng: ")) << bad.toStdString();
    // Nesting deep enough to exhaust the stack is refused, not followed.
    EXPECT_TRUE(parseError(QByteArray("<a>").repeated(200000)).contains("nested too deeply"));
    EXPECT_EQ(parseError(QByteArray("<a>").repeated(100) + QByteArray("</a>").repeated(100)), "<no exception>");
}

TEST(XmlUtils, SavesInTheDeclaredEncodingWithReferencesForTheRest)
{
    TXmlDocument doc(QStringLiteral("root"));
    const QString text = QString::fromUtf8("Načíst ze &zařízení \"✓\" 😀 <a>\nnext");
    doc.DocumentElement().AppendChild("fVYN").SetAttribute("caption", text);
    const QByteArray bytes = doc.SaveToBytes("windows-1250");
    EXPECT_TRUE(bytes.contains("Na\xe8\xedst ze &amp;za\xf8\xedzen\xed")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("&#x2713;"));
    const TXmlDocument back = TXmlDocument::Parse(bytes, QStringLiteral("t"));
    EXPECT_EQ(GetAttr(back.DocumentElement().FirstChild("fVYN"), "caption", ""), text);
    EXPECT_THROW(doc.SaveToBytes("no-such-encoding"), Exception);
}
