#include "lang/uLanguageExport.h"

#include "lang/uLanguageForms.h"
#include "platform/Exception.h"

#include "LangTestFiles.h"
#include "TestWindow.h"

#include <QListWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

QStringList childNames(const TXmlElement* element)
{
    QStringList names;
    for (const TXmlElement& child : element->Children())
        names << child.Name();
    return names;
}

QString attributes(const TXmlElement* element)
{
    QStringList pairs;
    for (const TXmlAttribute& attribute : element->Attributes())
        pairs << attribute.Name + '=' + attribute.Value;
    return pairs.join(' ');
}

QStringList itemValues(const TXmlElement* items)
{
    QStringList values;
    for (const TXmlElement& item : items->Children())
        values << item.Name() + ':' + item.Attribute("value");
    return values;
}

} // namespace

TEST(LanguageExport, TheTemplateMirrorsTheControlTree)
{
    TestWindow w;
    auto* pnlButtons = makeControl<QWidget>(&w, "pnlButtons");
    makeControl<QPushButton>(pnlButtons, "cmdA")->setText("A");
    makeControl<QPushButton>(pnlButtons, "cmdB");
    auto* cbEmpty = makeControl<QComboBox>(&w, "cbEmpty");
    makeControl<QLabel>(cbEmpty, "lblInCombo")->setText("in combo");
    makeControl<QListWidget>(&w, "lbList")->addItems({"x", "y"});
    auto* unnamed = new QWidget(&w);
    makeControl<QLabel>(unnamed, "lblLoose")->setText("loose");
    makeControl<QLabel>(&w, "bad name")->setText("not exported");

    TXmlElement root(QStringLiteral("root"));
    ExportControl(&w, &root);
    ExportControl(nullptr, &root);
    ExportControl(&w, nullptr);
    ASSERT_EQ(childNames(&root), QStringList({"fTest"}));
    const TXmlElement* form = root.FirstChild("fTest");
    EXPECT_EQ(attributes(form), "caption=Okno");
    EXPECT_EQ(childNames(form), QStringList({"lblTitle", "cmdOK", "chDHCP", "grpNet", "txtName", "lvCols",
                                             "pnlButtons", "cbEmpty", "lbList", "lblLoose"}));
    EXPECT_EQ(attributes(form->FirstChild("cmdOK")), "caption=OK hint=Potvrdit");
    EXPECT_EQ(attributes(form->FirstChild("chDHCP")), "caption=DHCP");
    EXPECT_EQ(attributes(form->FirstChild("txtName")), "");
    EXPECT_TRUE(form->FirstChild("txtName")->Children().empty());

    const TXmlElement* grpNet = form->FirstChild("grpNet");
    EXPECT_EQ(attributes(grpNet), QString::fromUtf8("caption=Síť"));
    const TXmlElement* pnlInner = grpNet->FirstChild("pnlInner");
    EXPECT_EQ(attributes(pnlInner), "");
    EXPECT_EQ(childNames(pnlInner), QStringList({"lblInner", "cbType"}));
    EXPECT_EQ(itemValues(pnlInner->FirstChild("cbType")->FirstChild("items")),
              QStringList({QString::fromUtf8("item:Pasivní"), QString::fromUtf8("item:Aktivní"),
                           QString::fromUtf8("item:Žádné")}));

    EXPECT_EQ(childNames(form->FirstChild("lvCols")), QStringList({"items"}));
    EXPECT_EQ(itemValues(form->FirstChild("lvCols")->FirstChild("items")), QStringList({"item:A", "item:B"}));
    EXPECT_EQ(childNames(form->FirstChild("pnlButtons")), QStringList({"cmdA", "cmdB"}));
    EXPECT_EQ(attributes(form->FirstChild("pnlButtons")->FirstChild("cmdB")), "");
    // Lines first, then the child controls; an empty list still has its element.
    EXPECT_EQ(childNames(form->FirstChild("cbEmpty")), QStringList({"items", "lblInCombo"}));
    EXPECT_TRUE(form->FirstChild("cbEmpty")->FirstChild("items")->Children().empty());
    EXPECT_TRUE(form->FirstChild("lbList")->Children().empty());
}

TEST(LanguageExport, CzechTextsRoundTripThroughAWindows1250Template)
{
    QTemporaryDir dir;
    TLanguage language;
    InstallWindowTranslation(language);
    auto w = std::make_unique<TestWindow>();
    const QString loaded = dir.filePath("cesky.lng");
    writeFile(loaded, "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n<lang><forms>"
                      "<fTest caption=\"P\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd k\xf9\xf2\">"
                      "<cmdOK caption=\"&amp;Nastavit\" hint=\"Ulo\x9eit &#x2713;\"/>"
                      "<grpNet><pnlInner><cbType><items><item value=\"Pasivn\xed\"/><item value=\"\xc8\x65sk\xfd\"/>"
                      "</items></cbType></pnlInner></grpNet></fTest></forms></lang>");
    language.LoadFromFile(loaded);
    ASSERT_EQ(w->windowTitle(), QString::fromUtf8("Příliš žluťoučký kůň"));

    const QString form = dir.filePath("form.xml");
    ExportFormTemplate(w.get(), form);
    EXPECT_THROW(ExportFormTemplate(w.get(), dir.filePath("missing/form.xml")), Exception);
    w.reset();
    const QByteArray bytes = readFile(form);
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n<root>")) << bytes.left(80).toStdString();
    EXPECT_TRUE(bytes.contains("caption=\"P\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd k\xf9\xf2\""));
    EXPECT_TRUE(bytes.contains("hint=\"Ulo\x9eit &#x2713;\""));
    EXPECT_TRUE(bytes.contains("value=\"\xc8\x65sk\xfd\""));
    EXPECT_FALSE(bytes.contains("\xc5\x99")) << "UTF-8 in a windows-1250 file";

    // Moved under "forms", the template is a language file that gives the texts back.
    QByteArray lng = bytes;
    lng.replace("<root>", "<lang><forms>").replace("</root>", "</forms></lang>");
    writeFile(dir.filePath("new.lng"), lng);
    TestWindow fresh;
    language.LoadFromFile(dir.filePath("new.lng"));
    EXPECT_EQ(fresh.windowTitle(), QString::fromUtf8("Příliš žluťoučký kůň"));
    EXPECT_EQ(fresh.cmdOK->toolTip(), QString::fromUtf8("Uložit ✓"));
    EXPECT_EQ(fresh.cbType->itemText(1), QString::fromUtf8("Český"));
    EXPECT_EQ(fresh.cbType->count(), 2);
}
