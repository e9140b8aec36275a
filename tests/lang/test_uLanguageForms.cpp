#include "lang/uLanguageForms.h"

#include "lang/ControlProperties.h"
#include "platform/Exception.h"

#include "LangTestFiles.h"
#include "TestWindow.h"
#include "support/ExceptionText.h"

#include <QDialog>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Window order is noted from the first window on, as in the program.
class WindowTranslationEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { InstallWindowTranslation(); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new WindowTranslationEnvironment);

class LanguageFormsTest : public ::testing::Test
{
protected:
    LanguageFormsTest() { InstallWindowTranslation(language); }

    // Loads a UTF-8 language file with the given body inside its root.
    void load(const QString& body)
    {
        const QString file = dir.filePath(QStringLiteral("test%1.lng").arg(++m_files));
        writeFile(file, ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<lang>" + body + "</lang>").toUtf8());
        language.LoadFromFile(file);
    }

    QString loadError(const QString& body)
    {
        return ExceptionText([&] { load(body); });
    }

    TLanguage language;
    QTemporaryDir dir;

private:
    int m_files = 0;
};

} // namespace

TEST_F(LanguageFormsTest, LoadTranslatesOpenWindowsByName)
{
    TestWindow w;
    QTest::keyClicks(w.txtName, "typed");
    load(QString::fromUtf8(
        "<forms><fNone caption=\"x\"/>"
        "<fTest CAPTION=\"Window\" hint=\"Whole window\">"
        "<lblTitle caption=\"Title\"/><cmdOK caption=\"&amp;Go\" Hint=\"\"/>"
        "<txtName text=\"Jméno\" enabled=\"false\"/><lblMissing caption=\"x\"/>"
        "<grpNet caption=\"Network\"><pnlInner><lblInner caption=\"Kind\"/></pnlInner>"
        "<lblInner caption=\"not a direct child\"/></grpNet>"
        "</fTest></forms>"));
    EXPECT_EQ(w.windowTitle(), "Window");
    EXPECT_EQ(w.toolTip(), "Whole window");
    EXPECT_EQ(w.lblTitle->text(), "Title");
    EXPECT_EQ(w.cmdOK->text(), "&Go");
    EXPECT_EQ(w.txtName->text(), QString::fromUtf8("Jméno"));
    EXPECT_FALSE(w.txtName->isEnabled());
    EXPECT_EQ(w.grpNet->title(), "Network");
    EXPECT_EQ(w.lblInner->text(), "Kind");
}

TEST_F(LanguageFormsTest, ComboLinesAreReplacedAndTheSelectionStays)
{
    TestWindow w;
    w.cbType->setItemData(1, 42);
    QSignalSpy changes(w.cbType, &QComboBox::currentIndexChanged);

    load("<forms><fTest><grpNet><pnlInner><cbType><items>"
         "<item value=\"Passive\"/><comment value=\"skipped\"/><item value=\"Active\"/><item/>"
         "</items></cbType></pnlInner></grpNet></fTest></forms>");
    EXPECT_EQ(GetItemsOf(w.cbType)->Lines(), QStringList({"Passive", "Active", "<Error In Lng File>"}));
    EXPECT_EQ(w.cbType->currentIndex(), 1);
    EXPECT_EQ(w.cbType->itemData(1).toInt(), 42);
    EXPECT_EQ(changes.count(), 0);

    // Fewer lines than the selected one: nothing stays selected.
    w.cbType->setCurrentIndex(2);
    load("<forms><fTest><grpNet><pnlInner><cbType><items><item value=\"Only\"/></items>"
         "</cbType></pnlInner></grpNet></fTest></forms>");
    EXPECT_EQ(w.cbType->count(), 1);
    EXPECT_EQ(w.cbType->currentIndex(), -1);
}

TEST_F(LanguageFormsTest, AFailingPropertyStopsTheLoadButTheFileStays)
{
    TestWindow w;
    const QString error = loadError(
        "<forms><fTest caption=\"Applied\"><lblTitle caption=\"Applied too\" Bogus=\"x\" hint=\"not applied\"/>"
        "<cmdOK caption=\"Not applied\"/></fTest><fOther/></forms><const><OK text=\"Fine\"/></const>");
    EXPECT_EQ(error, "Property Bogus does not exist");
    EXPECT_EQ(w.windowTitle(), "Applied");
    EXPECT_EQ(w.lblTitle->text(), "Applied too");
    EXPECT_EQ(w.cmdOK->text(), "OK");
    EXPECT_EQ(language.GetText("OK", "OK"), "Fine");

    EXPECT_EQ(loadError("<forms><fTest maximumWidth=\"wide\"/></forms>"), "'wide' is not a valid integer value");
    EXPECT_EQ(loadError("<forms><fTest layoutDirection=\"Sideways\"/></forms>"), "Invalid property value");
    EXPECT_EQ(loadError("<forms><fTest isActiveWindow=\"true\"/></forms>"),
              "Property isActiveWindow is read-only");
}

TEST_F(LanguageFormsTest, BothFormsApplyInOrderAndTranslateFormUsesTheFirst)
{
    TestWindow w;
    language.TranslateForm(&w); // no file yet
    load("<forms><fTest caption=\"First\"/></forms><const/><forms><fTest caption=\"Second\"/>"
         "<fLate caption=\"Late\"/></forms>");
    EXPECT_EQ(w.windowTitle(), "Second");
    language.TranslateForm(&w);
    EXPECT_EQ(w.windowTitle(), "First");
    TestWindow late(QStringLiteral("fLate"));
    language.TranslateForm(&late);
    EXPECT_EQ(late.windowTitle(), "Okno");
}

TEST_F(LanguageFormsTest, UnnamedAndQtInnerWidgetsAreSeenThrough)
{
    TestWindow w;
    auto* scroll = makeControl<QScrollArea>(&w, "scrPages");
    auto* page = new QWidget; // becomes a child of the scroll area's viewport
    auto* unnamed = new QWidget(page);
    auto* lblDeep = makeControl<QLabel>(unnamed, "lblDeep");
    scroll->setWidget(page);
    EXPECT_EQ(FindChildControl(scroll, "lblDeep"), lblDeep);
    EXPECT_EQ(FindChildControl(&w, "lblDeep"), nullptr);
    EXPECT_EQ(FindChildControl(&w, "CMDOK"), nullptr);

    load("<forms><fTest><scrPages><lblDeep caption=\"Deep\"/></scrPages></fTest></forms>");
    EXPECT_EQ(lblDeep->text(), "Deep");
}

TEST_F(LanguageFormsTest, TheOldestWindowOfANameIsTranslated)
{
    auto first = std::make_unique<TestWindow>(QStringLiteral("fDup"));
    TestWindow second(QStringLiteral("fDup"));
    TestWindow owner(QStringLiteral("fOwner"));
    auto* dialog = new QDialog(&owner); // a window owned by another window, not by the application
    dialog->setObjectName("fDialog");
    for (int i = 0; i < 100; ++i) // layouts reparent many widgets made without one
        makeControl<QLabel>(nullptr, "lblLoose")->setParent(&owner);

    std::vector<std::unique_ptr<QWidget>> more;
    for (int i = 0; i < 30; ++i)
        more.push_back(std::make_unique<QWidget>());

    QList<QWidget*> expected = {first.get(), &second, &owner};
    for (const auto& widget : more)
        expected.append(widget.get());
    QList<QWidget*> windows = ApplicationWindows();
    windows.removeIf([&](QWidget* widget) { return !expected.contains(widget); });
    EXPECT_EQ(windows, expected);
    EXPECT_FALSE(ApplicationWindows().contains(dialog));

    load("<forms><fDup caption=\"Translated\"/><fDialog caption=\"Dialog\"/></forms>");
    EXPECT_EQ(first->windowTitle(), "Translated");
    EXPECT_EQ(second.windowTitle(), "Okno");
    EXPECT_EQ(dialog->windowTitle(), "");

    first.reset();
    load("<forms><fDup caption=\"Now the second\"/></forms>");
    EXPECT_EQ(second.windowTitle(), "Now the second");
}
