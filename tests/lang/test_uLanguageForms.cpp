#include "lang/uLanguageForms.h"

#include "lang/ControlProperties.h"

#include "platform/TestFiles.h"
#include "support/ExceptionText.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

template <typename T>
T* makeControl(QWidget* parent, const char* name)
{
    auto* control = new T(parent); // owned by its parent
    control->setObjectName(QLatin1String(name));
    return control;
}

// A small window built like the program's.
class TestWindow : public QWidget
{
public:
    explicit TestWindow(const QString& name = QStringLiteral("fTest"))
    {
        setObjectName(name);
        setWindowTitle(QStringLiteral("Okno"));
        cmdOK->setText(QStringLiteral("OK"));
        cmdOK->setToolTip(QStringLiteral("Potvrdit"));
        cbType->addItems({QStringLiteral("Pasivni"), QStringLiteral("Aktivni"), QStringLiteral("Zadne")});
        cbType->setCurrentIndex(1);
        lvCols->setHeaderLabels({QStringLiteral("A"), QStringLiteral("B")});
    }

    QPushButton* cmdOK = makeControl<QPushButton>(this, "cmdOK");
    QGroupBox* grpNet = makeControl<QGroupBox>(this, "grpNet");
    QWidget* pnlInner = makeControl<QWidget>(grpNet, "pnlInner");
    QLabel* lblInner = makeControl<QLabel>(pnlInner, "lblInner");
    QComboBox* cbType = makeControl<QComboBox>(pnlInner, "cbType");
    QLineEdit* txtName = makeControl<QLineEdit>(this, "txtName");
    QTreeWidget* lvCols = makeControl<QTreeWidget>(this, "lvCols");
};

class LanguageFormsTest : public ::testing::Test
{
protected:
    LanguageFormsTest() { InstallWindowTranslation(language); }

    QString load(const QString& body)
    {
        const QString file = dir.filePath(QStringLiteral("test%1.lng").arg(++files));
        writeFile(file, ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<lang>" + body + "</lang>").toUtf8());
        return ExceptionText([&] { language.LoadFromFile(file); });
    }

    TLanguage language;
    QTemporaryDir dir;
    int files = 0;
};

} // namespace

TEST_F(LanguageFormsTest, LoadTranslatesOpenWindowsByNameKeepingTheSelection)
{
    TestWindow w;
    QSignalSpy changes(w.cbType, &QComboBox::currentIndexChanged);
    load("<forms><fNone caption=\"x\"/><fTest CAPTION=\"Window\"><cmdOK caption=\"&amp;Go\" Hint=\"\"/>"
         "<txtName enabled=\"false\"/><lblMissing caption=\"x\"/><grpNet caption=\"Network\"><pnlInner>"
         "<lblInner caption=\"Kind\"/><cbType><items><item value=\"Passive\"/><comment value=\"skipped\"/>"
         "<item value=\"Active\"/><item/></items></cbType></pnlInner><lblInner caption=\"not a direct child\"/>"
         "</grpNet><lvCols><items><item value=\"X\"/><item value=\"Y\"/><item value=\"Z\"/></items></lvCols>"
         "</fTest></forms>");
    EXPECT_EQ(w.windowTitle(), "Window");
    EXPECT_EQ(w.cmdOK->text(), "&Go");
    EXPECT_EQ(w.cmdOK->toolTip(), "");
    EXPECT_FALSE(w.txtName->isEnabled());
    EXPECT_EQ(w.grpNet->title(), "Network");
    EXPECT_EQ(w.lblInner->text(), "Kind");
    EXPECT_EQ(GetItemsOf(w.cbType)->Lines(), QStringList({"Passive", "Active", "<Error In Lng File>"}));
    EXPECT_EQ(w.cbType->currentIndex(), 1);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(w.lvCols->headerItem()->text(0), "X");
    EXPECT_EQ(w.lvCols->columnCount(), 2);

    // Fewer lines than the selected one: nothing stays selected.
    w.cbType->setCurrentIndex(2);
    load("<forms><fTest><grpNet><pnlInner><cbType><items><item value=\"Only\"/></items>"
         "</cbType></pnlInner></grpNet></fTest></forms>");
    EXPECT_EQ(w.cbType->currentIndex(), -1);
}

TEST_F(LanguageFormsTest, AFailingPropertyStopsTheLoadButTheFileStays)
{
    TestWindow w;
    EXPECT_EQ(load("<forms><fTest caption=\"Applied\"><grpNet caption=\"Applied too\" Bogus=\"x\"/>"
                   "<cmdOK caption=\"Not applied\"/></fTest></forms><const><OK text=\"Fine\"/></const>"),
              "Property Bogus does not exist");
    EXPECT_EQ(w.windowTitle(), "Applied");
    EXPECT_EQ(w.grpNet->title(), "Applied too");
    EXPECT_EQ(w.cmdOK->text(), "OK");
    EXPECT_EQ(language.GetText("OK", "OK"), "Fine");
    const char* const rows[][2] = {
        {"maximumWidth=\"wide\"", "'wide' is not a valid integer value"},
        {"layoutDirection=\"Sideways\"", "Invalid property value"},
        {"isActiveWindow=\"true\"", "Property isActiveWindow is read-only"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(load(QStringLiteral("<forms><fTest %1/></forms>").arg(row[0])), row[1]);
}

TEST_F(LanguageFormsTest, BothFormsApplyInOrderToTheOldestWindowOfANameAndTranslateFormUsesTheFirst)
{
    language.TranslateForm(nullptr); // no file yet
    auto first = std::make_unique<TestWindow>();
    TestWindow second;
    auto* dialog = new QDialog(&second); // owned by a window, not by the application
    dialog->setObjectName("fDialog");
    auto* scroll = makeControl<QScrollArea>(&second, "scrPages");
    auto* page = new QWidget; // becomes a child of the scroll area's viewport
    auto* lblDeep = makeControl<QLabel>(new QWidget(page), "lblDeep");
    scroll->setWidget(page);
    EXPECT_EQ(FindChildControl(&second, "lblDeep"), nullptr);
    EXPECT_EQ(FindChildControl(&second, "CMDOK"), nullptr);

    load("<forms><fTest caption=\"First\"/></forms><const/><forms><fTest caption=\"Second\"/>"
         "<fDialog caption=\"Dialog\"/></forms>");
    EXPECT_EQ(first->windowTitle(), "Second");
    EXPECT_EQ(second.windowTitle(), "Okno");
    EXPECT_EQ(dialog->windowTitle(), "");
    language.TranslateForm(&second);
    EXPECT_EQ(second.windowTitle(), "First");
    first.reset();
    load("<forms><fTest caption=\"Now the second\"><scrPages><lblDeep caption=\"Deep\"/></scrPages></fTest></forms>");
    EXPECT_EQ(second.windowTitle(), "Now the second");
    EXPECT_EQ(lblDeep->text(), "Deep");
}
