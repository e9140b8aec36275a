// Finding and loading a device from the main window against the simulated
// device, the window in the bench's PC namespace.

#include "app/uf_InputIP.h"
#include "app/uf_VYN.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "link/MessageTaker.h"
#include "link/u_ARPTx.h"
#include "model/u_DevData_Text.h"
#include "platform/MessageBox.h"
#include "support/DeviceBench.h"
#include "support/QStringPrint.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

using MAC = std::array<uint8_t, 6>;

const MAC kDevMac{0x02, 0x76, 0x79, 0x6e, 0x00, 0x02};
const QString kDevIp = QString::fromLatin1(NetBench::DevIp);
const TShown kNotFound{QString::fromUtf8("Zařízení nebylo nalezeno"), "OK", iconError};
const QString kFailed = QString::fromUtf8("Komunikace se zařízením selhala!");

class LoadE2E : public ::testing::Test
{
protected:
    void SetUp() override { VYN_REQUIRE_ROOT(); }

    void Start(const std::vector<std::string>& simOptions = {}, const NetBenchOptions& options = {})
    {
        w.reset();
        b.emplace("ld", simOptions, options);
        sim = &b->Sim;
        ARPManager().GetIPTable();
        w = std::make_unique<TfVYN>(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
        w->show();
        platform::SetMessageBoxHook([this](QWidget*, const QString& text, const QString& caption, unsigned flags) {
            Boxes.push_back(caption + ": " + text + " " + QString::number(flags));
            return int(platform::IDOK);
        });
    }

    void TearDown() override
    {
        platform::SetMessageBoxHook(nullptr);
        TfInputIP::ModalHook = nullptr;
        TfVYN::InputQueryHook = nullptr;
        DevicePort = DefaultDevicePort;
        QLocale::setDefault(QLocale::c());
        w.reset();
        b.reset();
    }

    // Port 0 leaves the dialog's port box unticked.
    void SearchByIP(int port)
    {
        TfInputIP::ModalHook = [port](TfInputIP& dialog) {
            dialog.txtIP->setText(kDevIp);
            if (port) {
                dialog.chPort->click();
                dialog.txtPort->setValue(port);
            }
            dialog.cmdOK->click();
        };
        Messages.clear();
        w->menuIP->TlacClick();
    }

    void SearchByMAC(const QString& text)
    {
        TfVYN::InputQueryHook = [text](QWidget*, const QString&, const QString&, QString& typed) {
            typed = text;
            return true;
        };
        Messages.clear();
        w->menuMAC->TlacClick();
    }

    void Load(uint32_t ip, const MAC& mac)
    {
        w->FDevIP = ip;
        w->FDevMAC = mac;
        Messages.clear();
        Boxes.clear();
        w->cmdLoadVals->TlacClick();
    }

    void ExpectLoaded(bool loaded)
    {
        EXPECT_EQ(w->FDeviceLoaded, loaded);
        EXPECT_EQ(w->pnlDevSetup->isVisible(), loaded);
        EXPECT_EQ(w->pnlNone->isVisible(), !loaded);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(w->findChildren<TfDataSender*>().size(), 0);
    }

    QTemporaryDir dir;
    std::optional<DeviceBench> b;
    SimDevice* sim = nullptr;
    std::unique_ptr<TfVYN> w;
    TMessageTaker taker;
    std::vector<TShown>& Messages = taker.Messages;
    QStringList Boxes;
};

} // namespace

TEST_F(LoadE2E, SearchByIPAndByMAC)
{
    Start();
    DevicePort = 40000;
    SearchByIP(0);
    EXPECT_EQ(DevicePort, 30718);
    ExpectLoaded(true);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(w->lblMACTitle->text(), "02-76-79-6E-00-02");
    // Nothing stored, nothing fetched.
    EXPECT_EQ(sim->Log().find("http "), std::string::npos);
    // Both known: loaded again without a search. The road runs events
    // between its steps; meanwhile no command starts and closing is refused.
    const size_t logged = sim->Log().size();
    bool busy = false, closed = true;
    int asked = 0;
    TfInputIP::ModalHook = [&](TfInputIP&) { ++asked; };
    QTimer::singleShot(0, w.get(), [&] {
        busy = w->RoadBusy();
        w->menuIP->TlacClick();
        closed = w->close();
    });
    Load(w->FDevIP, w->FDevMAC);
    EXPECT_TRUE(busy);
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(closed);
    ExpectLoaded(true);
    EXPECT_EQ(sim->Log().find("hdr 00 00 00 f6", logged), std::string::npos);

    // Nobody listens on the other port.
    SearchByIP(40000);
    EXPECT_EQ(DevicePort, 40000);
    EXPECT_EQ(Messages, std::vector<TShown>{kNotFound});
    ExpectLoaded(false);
    EXPECT_EQ(w->FDevMAC, MAC{});

    SearchByMAC(QStringLiteral("02-76-79-6E-00-02"));
    ExpectLoaded(true);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(w->FDevIP, StrToIP(kDevIp));
    EXPECT_NE(sim->Log().find("-> 255.255.255.255:30718 hdr 00 00 00 f6"), std::string::npos);

    sim->Set("silent");
    SearchByMAC(QStringLiteral("02-76-79-6e-00-02"));
    EXPECT_EQ(Messages, std::vector<TShown>{kNotFound});
    ExpectLoaded(false);
}

// Answers lost or from another address; outside the PC's subnet the message
// names the device's address. The address and MAC stay for another try.
TEST_F(LoadE2E, AnIncompleteReadIsReported)
{
    const QString outside = QString::fromUtf8("\r\nPravděpodobnou příčinou je nekompatibilní síťové nastavení "
                                              "zařízení (IP: 10.214.0.2)");
    const struct {
        const char* address;
        std::vector<std::string> fault;
        QString text;
    } rows[] = {{"10.213.0.2", {"--drop-first", "1"}, kFailed},
                {"10.213.0.2", {"--answer-from-ip", "10.213.0.9"}, kFailed},
                {"10.214.0.2", {"--drop-first", "2"}, kFailed + outside}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault[0]);
        NetBenchOptions options;
        options.devAddress = row.address + std::string("/24");
        Start(row.fault, options);
        const uint32_t ip = StrToIP(QString::fromLatin1(row.address));
        Load(ip, kDevMac);
        EXPECT_EQ(Messages, (std::vector<TShown>{{row.text, "OK", iconWarning}}));
        ExpectLoaded(false);
        EXPECT_EQ(w->FDevIP, ip);
        EXPECT_EQ(w->FDevMAC, kDevMac);
    }
}

TEST_F(LoadE2E, OnlySupportedDevicesAndVersionsLoad)
{
    Start();
    const QString wrongDevice = QString::fromUtf8("Error: Nastavovací software není určen pro toto zařízení. 16");
    const auto wrongVersion = [](const char* v) {
        return QString::fromUtf8("Error: Nastavovací software není určen pro tuto verzi VYN (%1). 48").arg(v);
    };
    const struct {
        const char *prefix, *type, *version;
        QString box; // empty: the device loads
    } rows[] = {
        {"0x1234", "201", "17", wrongDevice},         {"0xEE02", "201", "17", wrongDevice},
        {"0xEE03", "999", "17", wrongDevice},         {"0xEE03", "201", "15", wrongVersion("1.5")},
        {"0xEE03", "201", "18", wrongVersion("1.8")}, {"0xEE03", "317", "17", wrongVersion("1.7")},
        {"0xEE03", "317", "3", wrongVersion("0.3")},  {"0xEE03", "317", "2", {}},
        {"0xEE03", "201", "16", {}},                  {"0xEE03", "201", "17", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.prefix) + " " + row.type + " " + row.version);
        sim->Set("devid-prefix", row.prefix);
        sim->Set("device-type", row.type);
        sim->Set("device-version", row.version);
        Load(StrToIP(kDevIp), kDevMac);
        EXPECT_TRUE(Messages.empty());
        ExpectLoaded(row.box.isEmpty());
        EXPECT_EQ(Boxes, row.box.isEmpty() ? QStringList() : QStringList{row.box});
    }
}

// The stored SOAP document and the temperature come from the device's web
// port; a failed fetch keeps the device.
TEST_F(LoadE2E, TheDocumentAndTheTemperatureComeFromTheWebPort)
{
    const QByteArray document = "<?xml version=\"1.0\"?>\r\n<soap>22.5</soap>\r\n";
    const QString file = dir.filePath(QStringLiteral("stored.xml"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(document);
    f.close();
    Start({"--soap", file.toStdString(), "--web-port", "8080", "--temperature", "-5", "--temperature-step", "0"});
    const uint32_t ip = StrToIP(kDevIp);
    Load(ip, kDevMac);
    ExpectLoaded(true);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(w->FDeviceSoapDoc, document);
    EXPECT_NE(sim->Log().find("GET /postsoap.xml"), std::string::npos);

    for (const auto& [fault, value] :
         {std::pair{"http-404", "1"}, std::pair{"http-500-soap", "1"}, std::pair{"http-slow", "11000"}}) {
        SCOPED_TRACE(fault);
        sim->Set(fault, value);
        Load(ip, kDevMac);
        sim->Set(fault, "0");
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_TRUE(Messages[0].Text.startsWith(
            QString::fromUtf8("Nepodařilo se stáhnout SOAP dokument ze zařízení.\r\n")))
            << Messages[0].Text.toStdString();
        EXPECT_GT(Messages[0].Text.size(), 52);
        EXPECT_EQ(Messages[0], (TShown{Messages[0].Text, "OK [10]", iconWarning}));
        ExpectLoaded(true);
        EXPECT_TRUE(w->FDeviceSoapDoc.isEmpty());
    }

    QLocale::setDefault(QLocale(QLocale::Czech));
    w->cmdMeritTlacClick();
    EXPECT_EQ(w->lblMerit->text(), QString::fromUtf8("-0,5°C"));
    EXPECT_TRUE(sim->WaitForLog("GET /vyn.xml"));
}
