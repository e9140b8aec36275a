#include "lang/uLanguageExport.h"

#include "lang/uLanguageForms.h"
#include "platform/Exception.h"

#include "LangTestFiles.h"
#include "TestWindow.h"

#include <QListWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

// An element with its attributes and children in one line:
// name(attribute=value ... child(...) ...).
QString dump(const TXmlElement& element)
{
    QStringList parts;
    for (const TXmlAttribute& attribute : element.Attributes())
        parts << attribute.Name + '=' + attribute.Value;
    for (const TXmlElement& child : element.Children())
        parts << dump(child);
    return parts.isEmpty() ? element.Name() : element.Name() + '(' + parts.join(' ') + ')';
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
    // Lines first, then the child controls; an empty list still has its element.
    EXPECT_EQ(dump(root), QString::fromUtf8(
        "root(fTest(caption=Okno lblTitle(caption=Nadpis) cmdOK(caption=OK hint=Potvrdit) chDHCP(caption=DHCP) "
        "grpNet(caption=Síť pnlInner(lblInner(caption=Typ) cbType(items(item(value=Pasivní) item(value=Aktivní) "
        "item(value=Žádné))))) txtName lvCols(items(item(value=A) item(value=B))) pnlButtons(cmdA(caption=A) cmdB) "
        "cbEmpty(items lblInCombo(caption=in combo)) lbList lblLoose(caption=loose)))"));
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
    w.reset();
    const QByteArray bytes = readFile(form);
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n<root>")) << bytes.left(80).toStdString();
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
