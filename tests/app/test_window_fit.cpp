// The windows made on demand in both shipped languages: they take the
// language loaded when they are built, keep their Czech places exactly, and
// in English give every text the room it needs.
#include "app/uf_IPWiz.h"
#include "app/uf_InputIP.h"
#include "app/uf_VYN.h"
#include "app/ufrm_IPSet.h"
#include "lang/uLanguage.h"
#include "lang/uLanguageForms.h"
#include "link/uf_DataSender.h"
#include "support/QStringPrint.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

QString ShippedFile(const char* name)
{
    return QStringLiteral(VYN_SOURCE_DIR "/resources/") + QLatin1String(name);
}

// Every control of a window by its name path, with its place and the
// window's size; only the controls shown, where hidden ones wait for their
// layout.
std::map<QString, QRect> Places(QWidget* window, bool shownOnly = false)
{
    std::map<QString, QRect> places{{window->objectName(), QRect(QPoint(), window->size())}};
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")) ||
            (shownOnly && !w->isVisibleTo(window)))
            continue;
        QString path = w->objectName();
        for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
            path.prepend(p->objectName() + u'/');
        places[path] = w->geometry();
    }
    return places;
}

// Whether the label shows its whole text, and Part in one line of it.
bool ShowsInOneLine(const QLabel* label, const QString& part)
{
    const QString text = label->text();
    const qsizetype at = text.indexOf(part);
    if (at < 0)
        return false;
    QTextLayout layout(text, label->font());
    QTextOption option;
    option.setWrapMode(label->wordWrap() ? QTextOption::WordWrap : QTextOption::NoWrap);
    layout.setTextOption(option);
    const int width = label->contentsRect().width();
    layout.beginLayout();
    qreal height = 0;
    bool oneLine = false;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        height += line.height();
        if (line.naturalTextWidth() > width + 0.5)
            return false;
        oneLine = oneLine || (line.textStart() <= at && at + part.size() <= line.textStart() + line.textLength());
    }
    layout.endLayout();
    return oneLine && height <= label->contentsRect().height();
}

class WindowFitTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        InstallWindowTranslation();
        main = std::make_unique<TfVYN>(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
    }
    void TearDown() override
    {
        TfInputIP::ModalHook = nullptr;
        main.reset();
        QDir::setCurrent(oldCwd);
        SetLanguageIniName(QString());
        Language = TLanguage();
    }

    QTemporaryDir dir;
    QString oldCwd;
    std::unique_ptr<TfVYN> main;
};

} // namespace

TEST_F(WindowFitTest, CzechWindowsKeepTheirBuiltPlacesAndEnglishThenCzechGivesThemBack)
{
    // The places the dialogs are built with; none of their Czech texts needs
    // more room (the wizard's question lblAgain does, and moves left: it is
    // left out here and checked on the real display).
    struct Row {
        const char* control;
        QRect place;
    };
    const Row inputIP[] = {
        {"fInputIP", {0, 0, 309, 111}},  {"lblIP", {8, 6, 293, 17}},     {"txtIP", {8, 24, 293, 24}},
        {"chPort", {8, 52, 180, 24}},    {"lblPort", {8, 55, 180, 17}},  {"txtPort", {200, 52, 101, 24}},
        {"cmdOK", {145, 81, 75, 25}},    {"cmdCancel", {226, 81, 75, 25}},
    };
    const Row wizard[] = {
        {"fSetIPWiz", {0, 0, 437, 244}},
        {"Pages/pnlMAC/Label1", {8, 24, 233, 33}},
        {"Pages/pnlMAC/txtMAC", {8, 56, 233, 21}},
        {"Pages/pnlMAC/cmdMAC_Cancel", {70, 206, 83, 25}},
        {"Pages/pnlMAC/cmdMAC_Next", {160, 206, 83, 25}},
        {"Pages/pnlIP/IPSet", {8, 24, 241, 132}}, // the frame's own height
        {"Pages/pnlIP/cmdIP_Back", {70, 206, 83, 25}},
        {"Pages/pnlIP/cmdSetIP", {160, 206, 83, 25}},
        {"Pages/pnlFinish/lblFinish", {40, 72, 201, 57}},
        {"Pages/pnlFinish/cmdFin_Again", {70, 206, 83, 25}},
        {"Pages/pnlFinish/cmdFinish", {160, 206, 83, 25}},
    };
    const auto check = [](QWidget* window, const auto& rows, const char* when) {
        const std::map<QString, QRect> places = Places(window);
        for (const Row& row : rows) {
            ASSERT_TRUE(places.count(QLatin1String(row.control))) << row.control;
            EXPECT_EQ(places.at(QLatin1String(row.control)), row.place) << when << ": " << row.control;
        }
    };

    main->show();
    TfInputIP builtInput;
    TfSetIPWiz builtWizard(nullptr, nullptr);
    check(&builtInput, inputIP, "without a file");
    check(&builtWizard, wizard, "without a file");
    // Labels placed by their text alone keep their places too.
    EXPECT_EQ(builtWizard.Label2->pos(), QPoint(8, 80));
    EXPECT_EQ(builtWizard.Label3->pos(), QPoint(16, 8));
    EXPECT_FALSE(builtWizard.Label2->wordWrap());
    const std::map<QString, QRect> mainBuilt = Places(main.get(), true);
    const std::map<QString, QRect> inputBuilt = Places(&builtInput);
    const std::map<QString, QRect> wizardBuilt = Places(&builtWizard);

    ASSERT_NO_THROW(Language.LoadFromFile(ShippedFile("english.lng")));
    {
        TfSetIPWiz english(nullptr, nullptr);
        EXPECT_NE(Places(&english), wizardBuilt); // English needs room
        // The open wizard took the language too, and made room as well.
        EXPECT_EQ(Places(&builtWizard), Places(&english));
    }
    ASSERT_NO_THROW(Language.LoadFromFile(ShippedFile("cesky.lng")));
    TfInputIP czechInput;
    TfSetIPWiz czechWizard(nullptr, nullptr);
    check(&czechInput, inputIP, "after English");
    check(&czechWizard, wizard, "after English");
    EXPECT_EQ(Places(&czechWizard), wizardBuilt);
    EXPECT_EQ(Places(&builtWizard), wizardBuilt);
    EXPECT_EQ(Places(&czechInput), inputBuilt);
    EXPECT_EQ(Places(main.get(), true), mainBuilt);
}

TEST_F(WindowFitTest, EnglishMacPageShowsItsWholeInstructionsAndTheFormatAboveTheButtons)
{
    ASSERT_NO_THROW(Language.LoadFromFile(ShippedFile("english.lng")));
    TfSetIPWiz wizard(nullptr, nullptr);
    wizard.show();
    ASSERT_EQ(wizard.Label1->text(), "Type the MAC address of the device whose IP address you want to change:");
    EXPECT_TRUE(ShowsInOneLine(wizard.Label1, QStringLiteral("change:")));
    EXPECT_LT(wizard.Label1->geometry().bottom(), wizard.txtMAC->y());
    EXPECT_TRUE(ShowsInOneLine(wizard.Label2, QStringLiteral("00-12-34-56-78-9A")));
    EXPECT_LT(wizard.txtMAC->geometry().bottom(), wizard.Label2->y());
    EXPECT_LT(wizard.Label2->geometry().bottom(), wizard.cmdMAC_Next->y());
    EXPECT_TRUE(wizard.pnlMAC->rect().contains(wizard.Label2->geometry()));
    // The buttons stay where the Czech window has them.
    EXPECT_EQ(wizard.cmdMAC_Next->geometry(), QRect(160, 206, 83, 25));
    EXPECT_EQ(wizard.size(), QSize(437, 244));
    // The question of the finish page stays in one line inside its page.
    EXPECT_TRUE(ShowsInOneLine(wizard.lblAgain, wizard.lblAgain->text()));
    EXPECT_TRUE(wizard.pnlFinish->rect().contains(wizard.lblAgain->geometry()));
}

TEST_F(WindowFitTest, SearchDialogTakesTheLanguageLoadedWhenItOpens)
{
    struct Row {
        const char* file;
        const char* title;
        const char* prompt;
        const char* port;
        const char* ok;
        const char* cancel;
    };
    const Row rows[] = {
        {"english.lng", "Find a device", "Type the IP address of the device:", "Non-standard port", "OK", "Cancel"},
        {"cesky.lng", "Vyhledání zařízení", "Zadejte IP adresu zařízení:", "Nestandardní port", "OK", "Zrušit"},
    };
    for (const Row& row : rows) {
        ASSERT_NO_THROW(Language.LoadFromFile(ShippedFile(row.file)));
        bool shown = false;
        TfInputIP::ModalHook = [&](TfInputIP& d) {
            shown = true;
            EXPECT_EQ(d.windowTitle(), QString::fromUtf8(row.title)) << row.file;
            EXPECT_EQ(d.lblIP->text(), QString::fromUtf8(row.prompt)) << row.file;
            EXPECT_EQ(d.chPort->text(), QString::fromUtf8(row.port)) << row.file;
            EXPECT_TRUE(d.chPort->isVisibleTo(&d));
            EXPECT_EQ(d.cmdOK->text(), QString::fromUtf8(row.ok)) << row.file;
            EXPECT_EQ(d.cmdCancel->text(), QString::fromUtf8(row.cancel)) << row.file;
            // The check box's hint comes from its caller, which gives none.
            EXPECT_TRUE(d.chPort->toolTip().isEmpty());
            d.cmdCancelClick();
        };
        main->menuIPTlacClick();
        EXPECT_TRUE(shown) << row.file;
    }
}
