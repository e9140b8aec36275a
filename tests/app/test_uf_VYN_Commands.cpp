// The main window's commands: the adapter menu, the flags, the keys, the
// page menu and the template export, on the real window.
#include "DeviceIdentity.h"
#include "MainWindowFixture.h"
#include "XvfbRun.h"

#include "app/MyUtils.h"
#include "app/Panel.h"
#include "app/uf_IPWiz.h"
#include "app/uf_InputIP.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "link/FakeIpHelper.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "support/QStringPrint.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// The address layer, failing on request.
class AdapterLayer : public FakeIpHelperLink
{
public:
    AdapterLayer(FakeIpHelper& fake, const bool& fail) : FakeIpHelperLink(fake), m_fail(fail) {}
    uint32_t GetAdaptersInfo(void* i, uint32_t* s) override
    {
        return m_fail ? platform::ERROR_NOT_ENOUGH_MEMORY : FakeIpHelperLink::GetAdaptersInfo(i, s);
    }

private:
    const bool& m_fail;
};

uint32_t Ip(const char* text)
{
    return StrToIPAddr(QString::fromLatin1(text));
}

platform::AdapterEntry Adapter(const char* description, std::vector<std::pair<uint32_t, uint32_t>> addresses)
{
    return {3, 0, "eth0", description, {}, 0, std::move(addresses)};
}

void Key(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    QTest::sendKeyEvent(QTest::Press, target, key, text, modifiers);
    QTest::sendKeyEvent(QTest::Release, target, key, text, modifiers);
}

class CommandsTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        SetIpHelperLoader([this] { return std::make_unique<AdapterLayer>(fake, failAdapters); });
        platform::SetMessageBoxHook([this](QWidget* owner, const QString& text, const QString& caption, unsigned flags) {
            boxes.push_back({text, caption, QString::number(flags), QString::number(owner == w.get())});
            return answer;
        });
        TfInputIP::ModalHook = [this](TfInputIP& dialog) {
            searches << "IP";
            dialog.cmdCancelClick();
        };
        TfVYN::InputQueryHook = [this](QWidget*, const QString&, const QString&, QString&) {
            searches << "MAC";
            return false;
        };
        w = std::make_unique<TfVYN>(nullptr, ini);
    }

    void TearDown() override
    {
        w.reset();
        TfInputIP::ModalHook = nullptr;
        TfVYN::InputQueryHook = nullptr;
        platform::SetMessageBoxHook(nullptr);
        SetIpHelperLoader(nullptr);
        MainWindowTest::TearDown();
    }

    QStringList MenuTexts() const
    {
        QStringList texts;
        for (QAction* a : w->pmSelAdapt->actions())
            texts << a->text() + u'=' + IPAddrToStr(a->data().toUInt());
        return texts;
    }

    void LoadDevice()
    {
        w->FDevIP = Ip("10.213.0.2");
        GiveSupportedIdentity(*w);
        w->FDeviceLoaded = true;
        w->UpdateDeviceState();
    }

    FakeIpHelper fake;
    bool failAdapters = false;
    std::vector<QStringList> boxes;
    int answer = platform::IDNO;
    QStringList searches;
    std::unique_ptr<TfVYN> w;
};

} // namespace

TEST_F(CommandsTest, TheAdapterMenuListsEveryAddressOnceAndKeepsWhatItHasWhenReadingFails)
{
    const QString deflt = QString::fromUtf8("<Výchozí adaptér>=0.0.0.0");
    // No adapter with an address: only the default item.
    fake.Adapters = {Adapter("Wired", {{0, 0}})};
    LocalAdapterIP = Ip("10.0.0.9");
    w->FillAdapterMenu();
    EXPECT_EQ(MenuTexts(), QStringList{deflt});
    EXPECT_EQ(LocalAdapterIP, 0u);
    EXPECT_EQ(w->lblCurrentAdapter->text(), QString::fromUtf8("Není k dispozici síťový adaptér."));

    // Two addresses on one adapter, one on another; opened twice.
    fake.Adapters = {Adapter("Wired", {{Ip("10.0.0.1"), Ip("255.0.0.0")}, {Ip("192.168.5.7"), Ip("255.255.255.0")}}),
                     Adapter("Wireless", {{Ip("172.16.1.2"), Ip("255.255.0.0")}})};
    w->FillAdapterMenu();
    w->FillAdapterMenu();
    const QStringList two{deflt, "Wired (10.0.0.1)=10.0.0.1", "Wired (192.168.5.7)=192.168.5.7",
                          "Wireless (172.16.1.2)=172.16.1.2"};
    EXPECT_EQ(MenuTexts(), two);

    w->pmSelAdapt->actions()[2]->trigger();
    EXPECT_EQ(LocalAdapterIP, Ip("192.168.5.7"));
    EXPECT_EQ(w->lblCurrentAdapter->text(), "Wired (192.168.5.7)");

    // The adapters cannot be read: the menu, the choice and the label stay.
    failAdapters = true;
    w->FillAdapterMenu();
    EXPECT_EQ(MenuTexts(), two);
    EXPECT_EQ(w->lblCurrentAdapter->text(), "Wired (192.168.5.7)");

    w->pmSelAdapt->actions()[0]->trigger();
    EXPECT_EQ(LocalAdapterIP, 0u);
    EXPECT_EQ(w->lblCurrentAdapter->text(), QString::fromUtf8("Zvolte síťový adaptér."));
}

TEST_F(CommandsTest, TheFlagsSwitchEveryTextAndTheRunningStateStays)
{
    fake.Adapters = {Adapter("Wired", {{Ip("10.213.0.1"), Ip("255.255.255.0")}})};
    w->show();
    LoadDevice();
    w->ShowCurrentIP(Ip("10.213.0.2"));
    w->LMenuClick(w->lmCommon);
    w->timMerit->start(60000);
    w->cmdMerit->SetCaption(QStringLiteral("Stop"));

    QTest::mouseClick(w->Image3, Qt::LeftButton);
    EXPECT_EQ(w->windowTitle(), "VYN - settings");
    EXPECT_EQ(w->lblCurrentAdapter->text(), "Choose a network adapter.");
    EXPECT_EQ(w->lblCurrentIP->text(), "Current IP address : 10.213.0.2");
    EXPECT_EQ(w->pnlSettingsCaption->Caption(), "  General");
    EXPECT_EQ(w->cmdMerit->Caption(), "Stop");
    w->FillAdapterMenu();
    EXPECT_EQ(w->mSelAdapt->text(), "<Default adapter>");

    // A chosen adapter keeps its caption; the measure button its state.
    w->pmSelAdapt->actions()[1]->trigger();
    w->timMerit->stop();
    QTest::mouseClick(w->Image2, Qt::LeftButton);
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("VYN - nastavení"));
    EXPECT_EQ(w->lblCurrentAdapter->text(), "Wired (10.213.0.1)");
    EXPECT_EQ(w->lblCurrentIP->text(), QString::fromUtf8("Současná IP adresa : 10.213.0.2"));
    EXPECT_EQ(w->pnlSettingsCaption->Caption(), QString::fromUtf8("  Obecné"));
    EXPECT_EQ(w->cmdMerit->Caption(), QString::fromUtf8("Měřit"));

    // A missing file shows its error and changes nothing.
    const QString file = ProgramFolder() + QStringLiteral("english.lng");
    ASSERT_TRUE(QFile::rename(file, file + QStringLiteral(".away")));
    testing::internal::CaptureStderr();
    QTest::mouseClick(w->Image3, Qt::LeftButton);
    const QString err = QString::fromStdString(testing::internal::GetCapturedStderr());
    QFile::rename(file + QStringLiteral(".away"), file);
    EXPECT_TRUE(err.contains(QString::fromUtf8("Soubor s překladem:\"%1\" nenalezen!").arg(file))) << err.toStdString();
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("VYN - nastavení"));

    // The settings file names the last file relative to the program folder.
    QTest::mouseClick(w->Image3, Qt::LeftButton);
    ASSERT_TRUE(w->close());
    EXPECT_EQ(platform::IniFile(ini).ReadString("language", "langfile", QString()), "english.lng");
}

TEST_F(CommandsTest, AltKeysRunTheCommandsAndLeaveTypedCharactersAlone)
{
    w->show();
    const struct {
        Qt::Key key;
        bool device;
        bool consumed;
        bool deviceAfter;
        size_t boxes;
    } rows[] = {
        {Qt::Key_X, true, true, false, 0}, {Qt::Key_X, false, true, false, 1}, {Qt::Key_F, true, true, true, 0},
        {Qt::Key_F, false, false, false, 0}, {Qt::Key_I, false, true, false, 0}, {Qt::Key_M, true, true, true, 0},
        {Qt::Key_S, false, true, false, 0},
    };
    // Alt+S opens the set-IP wizard: the operator closes it at once.
    TfSetIPWiz::ModalHook = [](TfSetIPWiz& wizard) { wizard.close(); };
    for (const auto& row : rows) {
        SCOPED_TRACE(QKeySequence(row.key).toString().toStdString() + (row.device ? " with device" : " without"));
        boxes.clear();
        w->FDeviceLoaded = false;
        w->UpdateDeviceState();
        if (row.device)
            LoadDevice();
        QKeyEvent press(QEvent::KeyPress, row.key, Qt::AltModifier, QKeySequence(row.key).toString().toLower());
        QCoreApplication::sendEvent(w.get(), &press);
        EXPECT_EQ(press.isAccepted(), row.consumed);
        EXPECT_EQ(w->FDeviceLoaded, row.deviceAfter);
        ASSERT_EQ(boxes.size(), row.boxes);
        if (row.boxes) {
            EXPECT_EQ(boxes[0], (QStringList{QString::fromUtf8("Ukončit aplikaci?"), w->windowTitle(), "36", "1"}));
            EXPECT_TRUE(w->isVisible()); // answered No
        }
    }
    TfSetIPWiz::ModalHook = nullptr;
    EXPECT_EQ(searches, (QStringList{"IP", "MAC"}));

    // While a road runs, no key closes the device; AltGr (Ctrl+Alt, or a
    // third-level key) types its character into the focused field.
    LoadDevice();
    w->LMenuClick(w->lmCommon);
    w->txtVYNName->setFocus();
    w->txtVYNName->clear();
    {
        TfVYN::TRoadGuard road(*w);
        Key(w.get(), Qt::Key_X, Qt::AltModifier, "x");
    }
    Key(w->txtVYNName, Qt::Key_V, Qt::ControlModifier | Qt::AltModifier, "@");
    Key(w->txtVYNName, Qt::Key_X, Qt::ControlModifier | Qt::AltModifier, "#");
    Key(w->txtVYNName, Qt::Key_At, Qt::AltModifier, "@");
    EXPECT_EQ(w->txtVYNName->text(), "@#@");
    // A modal dialog in front keeps the main window's keys from it too.
    TfInputIP dialog(w.get());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    Key(dialog.txtIP, Qt::Key_X, Qt::AltModifier, "x");
    Key(w.get(), Qt::Key_X, Qt::AltModifier, "x");
    dialog.close();
    EXPECT_TRUE(w->FDeviceLoaded);

    // Yes ends the program.
    w->FDeviceLoaded = false;
    w->UpdateDeviceState();
    answer = platform::IDYES;
    Key(w.get(), Qt::Key_X, Qt::AltModifier, "x");
    EXPECT_FALSE(w->isVisible());
}

TEST_F(CommandsTest, OnlyTheChosenPageIsEnabledAndInFront)
{
    LoadDevice();
    for (const auto& [item, page] : w->MenuPages()) {
        SCOPED_TRACE(item->objectName().toStdString());
        QTest::mouseClick(item->Tlac, Qt::LeftButton);
        EXPECT_TRUE(item->Selected());
        EXPECT_TRUE(w->pnlSettingsHold->isVisibleTo(w.get()));
        EXPECT_EQ(w->pnlSettingsCaption->Caption(), item->Caption());
        const QList<TPanel*> siblings = w->pnlSettingsHold->findChildren<TPanel*>(Qt::FindDirectChildrenOnly);
        for (TPanel* other : siblings)
            EXPECT_EQ(other->isEnabled(), other == page) << other->objectName().toStdString();
        QWidget* front = nullptr;
        for (QObject* child : w->pnlSettingsHold->children())
            if (qobject_cast<TPanel*>(child))
                front = static_cast<QWidget*>(child);
        EXPECT_EQ(front, page);
    }
    // The heading does nothing.
    QTest::mouseClick(w->lmTempSet->Tlac, Qt::LeftButton);
    EXPECT_TRUE(w->MenuPages().back().first->Selected());
    // Without a page: the no-device panel alone is shown.
    w->ShowPage(nullptr, false);
    EXPECT_TRUE(w->pnlNone->isVisibleTo(w.get()));
    EXPECT_FALSE(w->pnlDevSetup->isVisibleTo(w.get()));
    w->Button1->click();
    EXPECT_TRUE(w->pnlDevSetup->isVisibleTo(w.get()));
    EXPECT_FALSE(w->pnlNone->isVisibleTo(w.get()));
    EXPECT_FALSE(w->pnlSettingsHold->isVisibleTo(w.get()));
    for (TfrmLMenuH* item : w->pnlLMenu->findChildren<TfrmLMenuH*>())
        EXPECT_FALSE(item->Selected()) << item->objectName().toStdString();
}

// The language files' test pins that the template holds every text.
TEST_F(CommandsTest, TheExportButtonWritesTheTemplateInWindows1250)
{
    w->cmdSaveForm->click();
    const QByteArray bytes = ReadFile(dir.filePath("form.xml"));
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"windows-1250\"?>")) << bytes.left(60).toStdString();
    EXPECT_TRUE(bytes.contains(QByteArray("caption=\"VYN - nastaven\xED\"")));
}

TEST(CommandsScreens, TheFlagsSwitchTheLanguageOnARealDisplay)
{
    QTemporaryDir dir;
    const XvfbRun run = RunOnXvfb(SCREENS_PATH, dir.path(), 60000, QStringLiteral("lang"));
    ASSERT_RAN_ON_XVFB(run);
    const QStringList place = run.Out.trimmed().split(u' ');
    ASSERT_EQ(place.size(), 4);
    const QRect strip(place[0].toInt(), place[1].toInt(), place[2].toInt(), place[3].toInt());

    const QImage czech(dir.filePath("cesky.png")), english(dir.filePath("english.png")),
        back(dir.filePath("cesky2.png"));
    ASSERT_FALSE(czech.isNull() || english.isNull());
    // The top menu and the title strip read differently in English, and
    // the way back gives the Czech window again.
    EXPECT_NE(czech.copy(strip), english.copy(strip));
    EXPECT_EQ(czech, back);
}
