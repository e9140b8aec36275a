// No two controls shown together share an Alt letter, in any shipped
// language file: what is shown together is taken from the real windows,
// put into each of their states.
#include "app/DeviceIdentity.h"
#include "app/Panel.h"
#include "app/uf_IPWiz.h"
#include "app/uf_InputIP.h"
#include "app/uf_VYN.h"
#include "app/ufrm_LMenuH.h"
#include "lang/ControlProperties.h"
#include "lang/uLanguage.h"
#include "lang/uLanguageForms.h"
#include "link/uf_DataSender.h"

#include <QCoreApplication>
#include <QDir>
#include <QKeySequence>
#include <QLabel>
#include <QStackedWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// The Alt key of a control's caption; empty when it has none. A label's
// marked letter leads to its buddy, so without one it is no key.
QKeySequence AltKey(const QWidget* control)
{
    const auto* label = qobject_cast<const QLabel*>(control);
    if (label && !label->buddy())
        return {};
    const std::optional<QString> caption = GetControlCaption(control);
    return caption ? QKeySequence::mnemonic(*caption) : QKeySequence();
}

// A control is shown when nothing covers its middle: pages stacked in one
// place are all visible, and only the front one is seen.
bool Shown(QWidget* window, QWidget* control)
{
    if (!control->isVisibleTo(window))
        return false;
    QWidget* hit = window->childAt(control->mapTo(window, control->rect().center()));
    return hit && (hit == control || control->isAncestorOf(hit));
}

class AltLettersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        InstallWindowTranslation();
    }
    void TearDown() override
    {
        QDir::setCurrent(oldCwd);
        SetLanguageIniName(QString());
        Language = TLanguage();
        LocalAdapterIP = 0;
    }

    // The controls with an Alt key shown now, as one screen; a key shared
    // by two of them is a clash.
    void Screen(QWidget* window, const QString& state)
    {
        QCoreApplication::processEvents();
        std::map<QString, QStringList> byKey;
        for (QWidget* control : window->findChildren<QWidget*>()) {
            const QKeySequence key = AltKey(control);
            if (key.isEmpty())
                continue;
            withKey.insert(control);
            if (Shown(window, control)) {
                shown.insert(control);
                captions[file].insert(*GetControlCaption(control));
                byKey[key.toString()] << control->objectName() + u' ' + *GetControlCaption(control);
            }
        }
        for (const auto& [key, controls] : byKey)
            EXPECT_EQ(controls.size(), 1) << file << ", " << window->objectName().toStdString() << " "
                                          << state.toStdString() << ": " << key.toStdString() << " on "
                                          << controls.join(QStringLiteral(", ")).toStdString();
        ++screens;
    }

    QTemporaryDir dir;
    QString oldCwd;
    std::string file;
    std::set<QWidget*> withKey, shown;
    std::map<std::string, std::set<QString>> captions; // by file
    int screens = 0;
};

} // namespace

TEST_F(AltLettersTest, NoTwoControlsShownTogetherShareAnAltLetter)
{
    for (const char* name : {"cesky.lng", "english.lng"}) {
        file = name;
        withKey.clear();
        shown.clear();
        screens = 0;
        SCOPED_TRACE(name);
        TfVYN main(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
        TfInputIP input;
        TfDataSender sender(nullptr, 0, nullptr);
        TfSetIPWiz wizard(nullptr, nullptr);
        ASSERT_NO_THROW(Language.LoadFromFile(QStringLiteral(VYN_SOURCE_DIR "/resources/") + QLatin1String(name)));
        main.LanguageLoaded();

        main.show();
        Screen(&main, QStringLiteral("without a device"));
        GiveSupportedIdentity(main);
        main.FDeviceLoaded = true;
        main.UpdateDeviceState();
        Screen(&main, QStringLiteral("with a device"));
        // Each item of the left menu, then each page of the settings area
        // (some are reached from other pages).
        for (TfrmLMenuH* item : main.pnlLMenu->findChildren<TfrmLMenuH*>()) {
            main.LMenuClick(item);
            Screen(&main, QStringLiteral("after ") + item->objectName());
        }
        ASSERT_TRUE(main.pnlSettingsHold->isVisible());
        for (TPanel* page : main.pnlSettingsHold->findChildren<TPanel*>(Qt::FindDirectChildrenOnly)) {
            main.ShowPage(page, true);
            Screen(&main, QStringLiteral("with ") + page->objectName() + QStringLiteral(" in front"));
        }
        wizard.show();
        for (int i = 0; i < wizard.Pages->count(); ++i) {
            wizard.ShowPage(wizard.Pages->widget(i));
            Screen(&wizard, QStringLiteral("on ") + wizard.Pages->widget(i)->objectName());
        }
        input.show();
        Screen(&input, QString());
        sender.show();
        Screen(&sender, QString());

        // The states above show every control that has an Alt letter.
        EXPECT_GE(screens, 12);
        EXPECT_GE(withKey.size(), 12u);
        for (QWidget* control : withKey)
            EXPECT_TRUE(shown.count(control)) << "never shown: " << control->objectName().toStdString();
    }
    // The files' own captions were checked, not the built-in ones twice.
    EXPECT_NE(captions["cesky.lng"], captions["english.lng"]);
}
