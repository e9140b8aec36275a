// The IP-assignment wizard and the main window's set-IP command against the
// simulated device, from the PC's namespace of a bench; a script drives it.
#include "app/Panel.h"
#include "app/uf_IPWiz.h"
#include "app/uf_VYN.h"
#include "app/ufrm_IPSet.h"
#include "lang/uLanguageForms.h"
#include "link/ConversationTestKit.h"
#include "link/MessageTaker.h"
#include "link/u_ARPTx.h"
#include "support/BoundedChild.h"
#include "support/DeviceBench.h"
#include "support/NetHelperCopy.h"
#include "support/QStringPrint.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/prctl.h>

#include <csignal>

namespace {

const QString kDevMac = QStringLiteral("02-76-79-6e-00-02");
const std::array<uint8_t, 6> kDevMacBytes{0x02, 0x76, 0x79, 0x6e, 0x00, 0x02};
// A normal user's road takes seconds; one that overruns this hangs.
constexpr auto kRoadDeadline = std::chrono::seconds(60);

QString Page(const TfSetIPWiz& w)
{
    return w.Pages->currentWidget()->objectName();
}

// A key as the operator gives it: to a control of the page in front.
void Key(TfSetIPWiz& w, Qt::Key key)
{
    auto* edit = w.Pages->currentWidget()->findChild<QLineEdit*>();
    QTest::keyClick(edit ? static_cast<QWidget*>(edit) : w.cmdFinish, key);
}

void Type(QLineEdit* edit, const QString& text)
{
    edit->clear();
    QTest::keyClicks(edit, text);
}

// Next with the MAC the page holds, then the new address set.
void SetAddress(TfSetIPWiz& w, const QString& ip, const QString& mask = QString())
{
    w.cmdMAC_Next->click();
    ASSERT_EQ(Page(w), "pnlIP");
    Type(w.IPSet->txtIP, ip);
    w.IPSet->SetAutoMask(mask.isEmpty());
    if (!mask.isEmpty())
        Type(w.IPSet->txtMask, mask);
    w.cmdSetIP->click();
}

void ExpectFinish(const TfSetIPWiz& w, const QString& text, int icon, bool again)
{
    ASSERT_EQ(Page(w), "pnlFinish");
    EXPECT_EQ(w.lblFinish->text(), text);
    EXPECT_EQ(w.imgSit->pixmap().toImage(), DataSenderIcon(icon).toImage());
    EXPECT_EQ(w.cmdFin_Again->isVisible(), again);
    EXPECT_EQ(w.lblAgain->isVisible(), again);
}

// The failures the running test has had so far; a forked child starts with
// those of its parent.
int Failures()
{
    const ::testing::TestResult& result = *::testing::UnitTest::GetInstance()->current_test_info()->result();
    int failures = 0;
    for (int i = 0; i < result.total_part_count(); ++i)
        failures += result.GetTestPartResult(i).failed() ? 1 : 0;
    return failures;
}

void ExpectBox(const TQuestion& box, const QString& text, const QString& caption, unsigned flags)
{
    EXPECT_EQ(box.Text, text);
    EXPECT_EQ(box.Caption, caption);
    EXPECT_EQ(box.Flags, flags);
}

} // namespace

class WizardTest : public ::testing::Test
{
protected:
    void SetUp() override { VYN_REQUIRE_ROOT(); }

    void TearDown() override
    {
        window.reset();
        platform::SetMessageBoxHook(nullptr);
        TfSetIPWiz::ModalHook = nullptr;
        DevicePort = DefaultDevicePort;
        platform::SetNetHelperPath(QString());
    }

    void Start(const std::vector<std::string>& simOptions = {}, const NetBenchOptions& options = {})
    {
        b.emplace("wiz", simOptions, options);
        sim = &b->Sim;
        // The address services read the PC's addresses once: read them here.
        ARPManager().GetIPTable();
        platform::SetMessageBoxHook([this](QWidget*, const QString& text, const QString& caption, unsigned flags) {
            Boxes.push_back({text, caption, flags});
            if (OnBox)
                OnBox(Boxes.back());
            return Answer(Boxes.back());
        });
        TfSetIPWiz::ModalHook = [this](TfSetIPWiz& w) {
            w.show();
            Script(w);
        };
    }

    int32_t Run(const std::function<void(TfSetIPWiz&)>& script, std::array<uint8_t, 6>& mac, bool allowAgain = false)
    {
        Script = script;
        return TfSetIPWiz::Execute(model.get(), mac, IP, Mask, Gateway, allowAgain);
    }

    // The main window's command, the window in a working directory of its own.
    void Command(const std::function<void(TfSetIPWiz&)>& script)
    {
        if (!window) {
            InstallWindowTranslation();
            window = std::make_unique<TfVYN>(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
        }
        Script = script;
        window->menuSetIPTlacClick();
    }

    std::optional<DeviceBench> b;
    SimDevice* sim = nullptr;
    std::unique_ptr<TDataManager> model = BuiltInModel();
    QTemporaryDir dir;
    std::unique_ptr<TfVYN> window;
    std::vector<TQuestion> Boxes;
    std::function<int(const TQuestion&)> Answer = [](const TQuestion&) { return int(platform::IDYES); };
    std::function<void(const TQuestion&)> OnBox;
    std::function<void(TfSetIPWiz&)> Script;
    uint32_t IP = 0x01010101;
    uint32_t Mask = 0x02020202;
    uint32_t Gateway = 0x03030303;
    // A modal window nobody answers fails the test within seconds, not at
    // CTest's time-out.
    TModalGuard Guard{std::chrono::seconds(5), CountsDown};
};

TEST_F(WizardTest, MacPageTakesOnlySixHexBytesAndEscapeAndTheCloseBoxEndItDifferently)
{
    Start();
    std::array<uint8_t, 6> mac{};
    const int32_t cancelled = Run(
        [&](TfSetIPWiz& w) {
            EXPECT_EQ(w.txtMAC->text(), QString());
            for (const char* bad :
                 {"00-12-34-56-78", "00-1G-34-56-78-9A", "00:12:34:56:78:9a", "00-12-34-56-78-9a-bc", ""}) {
                Type(w.txtMAC, QString::fromLatin1(bad));
                Key(w, Qt::Key_Return);
            }
            ASSERT_EQ(Boxes.size(), 5u);
            for (const TQuestion& box : Boxes)
                ExpectBox(box, "Toto není platná MAC adresa.\r\nZkontrolujte prosím.", "Upozornění", 0x30);
            EXPECT_EQ(Page(w), "pnlMAC");
            Key(w, Qt::Key_Escape);
            EXPECT_FALSE(w.isVisible());
        },
        mac);
    EXPECT_EQ(cancelled, 2);
    EXPECT_EQ(mac, (std::array<uint8_t, 6>{}));
    EXPECT_EQ(IP, 0x01010101u);

    mac = kDevMacBytes;
    EXPECT_EQ(Run([](TfSetIPWiz& w) { w.close(); }, mac), 8);
}

TEST_F(WizardTest, SilentDeviceIsNotFoundTwiceAndTheIPPageChecksStrictly)
{
    Start({"--silent"});
    std::array<uint8_t, 6> mac = kDevMacBytes;
    const int32_t result = Run(
        [&](TfSetIPWiz& w) {
            // While a box is up the road runs: the wizard stays.
            OnBox = [&](const TQuestion&) {
                w.close();
                QTest::keyClick(&w, Qt::Key_Escape);
                EXPECT_TRUE(w.isVisible());
            };
            Answer = [&](const TQuestion&) { return int(platform::IDABORT); };
            w.cmdMAC_Next->click();
            ASSERT_EQ(Boxes.size(), 1u);
            ExpectBox(Boxes[0],
                      "Zařízení nebylo nalezeno!\r\nZkontrolujte, zda je správně zadána MAC adresa a zařízení je "
                      "správně zapojeno.Poté pokus opakujte.",
                      "Varování", 0x32);
            EXPECT_EQ(Page(w), "pnlMAC");

            // Retry searches again; Ignore goes on to empty settings.
            Answer = [&](const TQuestion&) {
                return Boxes.size() == 2 ? int(platform::IDRETRY) : int(platform::IDIGNORE);
            };
            Key(w, Qt::Key_Return);
            EXPECT_EQ(Boxes.size(), 3u);
            ASSERT_EQ(Page(w), "pnlIP");
            EXPECT_FALSE(w.pnlMAC->isEnabled());
            EXPECT_EQ(QStringList({w.IPSet->txtIP->text(), w.IPSet->txtMask->text(), w.IPSet->txtGate->text()}),
                      QStringList({"", "0.0.0.0", "0.0.0.0"}));

            // Texts the lenient routines would take for other addresses.
            for (const char* ip : {"10.213.0", "010.213.0.5"}) {
                Type(w.IPSet->txtIP, QString::fromLatin1(ip));
                Key(w, Qt::Key_Return);
            }
            ASSERT_EQ(Boxes.size(), 5u);
            ExpectBox(Boxes[4], "Hodnoty nejsou zadány zprávně. Zkontrolujte je prosím", "Upozornění", 0x30);
            // Escape on the IP page goes back, not away.
            Key(w, Qt::Key_Escape);
            EXPECT_EQ(Page(w), "pnlMAC");

            // Set all the same: the static way, and no answer there either.
            Answer = [](const TQuestion& q) {
                return q.Flags == 0x32u ? int(platform::IDIGNORE) : int(platform::IDYES);
            };
            SetAddress(w, QStringLiteral("10.213.0.60"));
            ASSERT_EQ(Boxes.size(), 7u);
            EXPECT_EQ(Boxes[6].Caption, QStringLiteral("Zařízení nebylo nalezeno"));
            ExpectFinish(w, QStringLiteral("Zařízení nebylo nalezeno!"), iconWarning, true);
            w.close();
        },
        mac);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(b->Bench.OutputInPc("ip neigh show 10.213.0.60").find("PERMANENT"), std::string::npos);
}

TEST_F(WizardTest, RefusedSetOffersAgainAndTheDeviceIsThenSetDirectlyOnTheStandardPort)
{
    Start({"--refuse-sets", "--gateway", "10.213.0.1"});
    // Another port for the main window's searches; the wizard keeps its own.
    DevicePort = 40000;
    std::array<uint8_t, 6> mac = kDevMacBytes;
    const int32_t result = Run(
        [&](TfSetIPWiz& w) {
            EXPECT_EQ(w.txtMAC->text(), kDevMac);
            w.cmdMAC_Next->click();
            ASSERT_EQ(Page(w), "pnlIP");
            EXPECT_EQ(QStringList({w.IPSet->txtIP->text(), w.IPSet->txtMask->text(), w.IPSet->txtGate->text()}),
                      QStringList({"10.213.0.2", "255.255.255.0", "10.213.0.1"}));
            Type(w.IPSet->txtIP, QStringLiteral("10.213.0.50"));
            Type(w.IPSet->txtMask, QStringLiteral("255.255.0.0"));
            Key(w, Qt::Key_Return);
            ExpectFinish(w, QStringLiteral("IP nebyla nastavena!"), iconCross, true);
            EXPECT_EQ(w.ResultCode, 7);
            w.cmdFin_Again->click();
            EXPECT_EQ(w.ResultCode, 8);
            EXPECT_EQ(Page(w), "pnlMAC");
            EXPECT_EQ(w.txtMAC->text(), kDevMac);

            sim->Set("refuse-sets", "0");
            SetAddress(w, QStringLiteral("10.213.0.50"), QStringLiteral("255.255.0.0"));
            ExpectFinish(w, QStringLiteral("IP adresa byla nastavena na 10.213.0.50."), iconTick, true);
            // Enter has no button on this page; Escape is the end button.
            Key(w, Qt::Key_Return);
            EXPECT_TRUE(w.isVisible());
            Key(w, Qt::Key_Escape);
            EXPECT_FALSE(w.isVisible());
        },
        mac, true);
    EXPECT_EQ(result, 6);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(IP, StrToIP("10.213.0.50"));
    EXPECT_EQ(Mask, StrToIP("255.255.0.0"));
    EXPECT_EQ(Gateway, StrToIP("10.213.0.1"));
    EXPECT_EQ(sim->Address(), "10.213.0.50/16 10.213.0.1");
}

TEST_F(WizardTest, CommandSetsADeviceOutsideTheSubnetThroughAStaticEntryAndFollowsItOrLosesIt)
{
    NetBenchOptions options;
    options.devAddress = "192.168.50.7/24";
    options.devAnswersArp = false;
    Start({}, options);
    TMessageTaker taker;
    const auto set = [&](const QString& ip, bool thenSilent) {
        int wizards = 0;
        Command([&](TfSetIPWiz& w) {
            // No other road while this one runs.
            EXPECT_TRUE(window->RoadBusy());
            if (++wizards > 1)
                return;
            window->menuSetIPTlacClick();
            Type(w.txtMAC, kDevMac);
            SetAddress(w, ip, QStringLiteral("255.255.255.0"));
            ExpectFinish(w, QStringLiteral("IP adresa byla nastavena na %1.").arg(ip), iconTick, false);
            // In the PC's subnet now, the device is reachable as any host is.
            b->Bench.SetDevArp(true);
            sim->Set("silent", thenSilent ? "1" : "0");
            w.cmdFinish->click();
        });
        EXPECT_EQ(wizards, 1);
    };
    set(QStringLiteral("10.213.0.60"), false);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[0].Flags, 0x34u);
    EXPECT_TRUE(Boxes[0].Text.startsWith(QStringLiteral("Zařízení bylo detekováno")));
    ExpectBox(Boxes[1], "Chcete toto zařízení nastavit?", QCoreApplication::applicationName(), 36);
    EXPECT_EQ(sim->Address(), "10.213.0.60/24 0.0.0.0");
    EXPECT_EQ(b->Bench.OutputInPc("ip neigh show 10.213.0.60").find("PERMANENT"), std::string::npos);
    EXPECT_TRUE(window->FDeviceLoaded);
    EXPECT_EQ(window->FDevIP, StrToIP("10.213.0.60"));
    EXPECT_TRUE(window->pnlDevSetup->isVisibleTo(window.get()));

    // The loaded device is not asked about; it never answers again.
    Answer = [](const TQuestion&) { return int(platform::IDNO); };
    set(QStringLiteral("10.213.0.61"), true);
    EXPECT_EQ(Boxes.size(), 2u);
    ASSERT_EQ(taker.Messages.size(), 1u);
    EXPECT_EQ(taker.Messages[0].Text, QStringLiteral("Zařízení nebylo nalezeno."));
    EXPECT_EQ(taker.Messages[0].Icon, iconWarning);
    EXPECT_FALSE(window->FDeviceLoaded);
    EXPECT_TRUE(window->pnlNone->isVisibleTo(window.get()));
    EXPECT_FALSE(window->RoadBusy());
    // Not loaded, it is asked about again; No leaves it so.
    sim->Set("silent", "0");
    set(QStringLiteral("10.213.0.62"), false);
    EXPECT_EQ(Boxes.size(), 3u);
    EXPECT_FALSE(window->FDeviceLoaded);
}

// The program as a normal user, in a child process of its own: only the
// helper beside it holds rights, and the program file holds none. Without
// them, or against an administrator's entry, the static way fails saying why.
TEST_F(WizardTest, AsANormalUserTheStaticWayGoesThroughTheHelperOrNamesItsMissingRights)
{
    EXPECT_EQ(FileCapabilities(NetHelperCopy::ProgramPath()), "");
    const NetHelperCopy with(true);
    const NetHelperCopy without(false);
    const NetHelperCopy locked(true, 4242);
    // Both refusals come at the first change, the removal of what the
    // kernel holds for the new address, and name what is in the way.
    const QString entry = QStringLiteral("DeleteARPEntry:\r\nV tabulce sousedů je pro adresu 10.213.0.60 na rozhraní "
                                         "veth-pc trvalý záznam, který nevytvořil tento program (nejspíš jej zadal "
                                         "správce). Program jej ponechá, jak je, a tento způsob přiřazení IP adresy "
                                         "proto selže. Příkaz ip to ukazuje takto: 10.213.0.60 dev veth-pc lladdr "
                                         "02:00:00:00:00:60 PERMANENT\r\n(#00000120)");
    const std::string admins = "ip neigh add 10.213.0.60 lladdr 02:00:00:00:00:60 dev veth-pc nud permanent";
    const std::string tables = "ip -4 neigh show nud permanent; ip -4 route show table all";
    // A datagram to the gateway, then the kernel's entry for it, within 10 s.
    const std::string learnGateway = "bash -c 'echo >/dev/udp/10.213.0.254/9'; for i in $(seq 100); do "
                                     "ip -4 neigh show 10.213.0.254 | grep -q lladdr && exit 0; sleep 0.1; done; "
                                     "exit 1";
    // A second card on the device's LAN, as a laptop's Wi-Fi beside its cable.
    const std::string sharedLan = "ip link add card2 type veth peer name card2-end && ip link set card2 up && "
                                  "ip link set card2-end up && ip addr add 10.213.0.3/24 dev card2 metric 600";
    const struct {
        const char* what;
        std::string helper;
        NetBenchOptions::Route route;
        QString newIP;
        bool set;
        uint32_t refusal = 0;     // the code the first change fails with
        std::string before = "";  // what the administrator made first
        std::string learned = ""; // an address whose learned entry stays
        gid_t group = 0;          // the group the user holds besides its own
    } rows[] = {
        {"rights, new address on the link", with.Path(), NetBenchOptions::Route::OnLink, "10.213.0.60", true},
        // Behind a gateway the new address needs a host route while the
        // device is waited for.
        {"rights, new address behind the gateway", with.Path(), NetBenchOptions::Route::Gateway, "10.78.0.5", true},
        {"no rights", without.Path(), NetBenchOptions::Route::OnLink, "10.213.0.60", false,
         platform::ERROR_PRIVILEGE_NOT_HELD},
        {"a helper this user may not run", locked.Path(), NetBenchOptions::Route::OnLink, "10.213.0.60", false,
         platform::ERROR_ACCESS_DISABLED_BY_POLICY},
        {"a member of the helper's group, a second card on the device's LAN", locked.Path(),
         NetBenchOptions::Route::OnLink, "10.213.0.60", true, 0, sharedLan, "", 4242},
        {"no helper", with.Dir() + "/absent", NetBenchOptions::Route::OnLink, "10.213.0.60", false,
         platform::ERROR_FILE_NOT_FOUND},
        {"an administrator's entry for the new address", with.Path(), NetBenchOptions::Route::OnLink, "10.213.0.60",
         false, platform::ERROR_NOT_OWNER, admins},
        // Every host behind the gateway is reached through its entry, which
        // the kernel has learned and keeps.
        {"the gateway's address", with.Path(), NetBenchOptions::Route::Gateway, "10.213.0.254", false,
         platform::ERROR_INVALID_PARAMETER, learnGateway, "10.213.0.254"},
    };
    const QString gateway = QStringLiteral("DeleteARPEntry:\r\nAdresa 10.213.0.254 je bránou (next hop), přes kterou "
                                           "vede trasa tohoto počítače, a tento program pro ni proto na rozhraní "
                                           "veth-pc nevytvoří záznam ani trasu. Zvolte pro zařízení jinou IP adresu. "
                                           "Příkaz ip to ukazuje takto: default via 10.213.0.254 dev veth-pc\r\n"
                                           "(#00000057)");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        NetBenchOptions options;
        options.devAddress = "192.168.50.7/24";
        options.devAnswersArp = false;
        options.pcRoute = row.route;
        Boxes.clear();
        b.reset();
        Start({}, options);
        ASSERT_EQ(b->Bench.RunInPc(row.before), 0);
        const std::string tablesBefore = b->Bench.OutputInPc(tables);
        platform::SetNetHelperPath(QString::fromStdString(row.helper));
        const BoundedEnd road = RunBounded([&]() -> std::string {
            const int failuresBefore = Failures();
            // A failed assertion leaves the lambda, never the child's end.
            [&] {
                BecomeNormalUser(row.group);
                // Changing the user cleared it: the child must not outlive the test.
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                TMessageTaker taker;
                std::array<uint8_t, 6> mac = kDevMacBytes;
                const int32_t result = Run(
                    [&](TfSetIPWiz& w) {
                        SetAddress(w, row.newIP, QStringLiteral("255.255.255.0"));
                        if (row.set)
                            ExpectFinish(w, QStringLiteral("IP adresa byla nastavena na %1.").arg(row.newIP), iconTick,
                                         false);
                        else
                            EXPECT_EQ(Page(w), "pnlIP");
                        w.close();
                    },
                    mac);
                EXPECT_EQ(result, row.set ? 6 : 8);
                // The question that leads to the static way names what stands
                // in the helper's way, and asks plainly with rights.
                const auto leading = std::find_if(Boxes.begin(), Boxes.end(), [](const TQuestion& q) {
                    return q.Text.startsWith(QStringLiteral("Zařízení bylo detekováno"));
                });
                ASSERT_NE(leading, Boxes.end());
                if (platform::IsMissingRights(row.refusal)) {
                    EXPECT_TRUE(leading->Text.endsWith(QStringLiteral("Chcete přesto pokračovat?\r\n\r\n") +
                                                       ARPErrorText(row.refusal).trimmed()))
                        << leading->Text.toStdString();
                } else {
                    EXPECT_TRUE(leading->Text.endsWith(QStringLiteral("Chcete přesto pokračovat?")))
                        << leading->Text.toStdString();
                }
                if (row.refusal != 0) {
                    // The refusal of the first change: the operation, then why, in the program's language.
                    const QString code = QString::number(row.refusal, 16).rightJustified(8, u'0').toUpper();
                    const QString why = row.refusal == platform::ERROR_NOT_OWNER       ? entry
                        : row.refusal == platform::ERROR_INVALID_PARAMETER ? gateway
                        : QStringLiteral("ARPEntry:\r\n%1(#%2)").arg(ARPErrorText(row.refusal), code);
                    ASSERT_EQ(taker.Messages.size(), 1u);
                    EXPECT_TRUE(taker.Messages[0].Text.endsWith(why)) << taker.Messages[0].Text.toStdString();
                }
            }();
            return Failures() > failuresBefore ? "failed" : "passed";
        }, 256L << 20, kRoadDeadline);
        EXPECT_EQ(road.Text + road.Fault, "passed") << "the normal user's road through the wizard";
        // A road that hung, or never started, would fare no better in the next row.
        if (road.Text.empty())
            return;
        EXPECT_EQ(sim->Address(), row.set ? row.newIP.toStdString() + "/24 0.0.0.0" : "192.168.50.7/24 0.0.0.0");
        // Nothing of the road stays, and nothing of the administrator's goes.
        EXPECT_EQ(b->Bench.OutputInPc(tables), tablesBefore);
        if (!row.learned.empty())
            EXPECT_NE(b->Bench.OutputInPc("ip -4 neigh show " + row.learned).find(" lladdr "), std::string::npos);
    }
}
