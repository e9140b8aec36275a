// The save command of the main window against the simulated device: what
// arrives, what the device stores, where it is found again and what the
// operator is told.

#include "app/XvfbRun.h"
#include "app/uf_VYN.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_Tlacitko.h"
#include "link/MessageTaker.h"
#include "link/u_ARPTx.h"
#include "model/u_DevData.h"
#include "model/u_DevData_Text.h"
#include "platform/MessageBox.h"
#include "support/DeviceBench.h"
#include "support/QStringPrint.h"

#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>
#include <memory>
#include <optional>

namespace {

const QString kDevIp = QString::fromLatin1(NetBench::DevIp);

// vyn_name at 106 of the last record, ended by a zero byte.
bool DeviceNameIs(const SimDevice& sim, const QString& name)
{
    const QByteArray text = name.toLatin1() + '\0';
    return Bytes(sim.Record(0xD5)).mid(106, text.size()) == text;
}

class SaveE2E : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VYN_REQUIRE_ROOT();
        platform::SetMessageBoxHook([this](QWidget*, const QString& text, const QString&, unsigned) {
            Boxes << text;
            return int(platform::IDYES);
        });
        // The real upload; the faults of AfterUpload hit only what follows it.
        TfVYN::TftpPutHook = [this](const QString& host, const QString& name, const QByteArray& data,
                                    const platform::TftpOptions& options, const platform::TransferEvents& events) {
            ++Puts;
            platform::TftpPut(host, name, data, options, events);
            for (const auto& [fault, value] : std::exchange(AfterUpload, {}))
                sim->Set(fault, value);
        };
    }

    void TearDown() override
    {
        w.reset();
        b.reset();
        TfVYN::TftpPutHook = nullptr;
        platform::SetMessageBoxHook(nullptr);
        DevicePort = DefaultDevicePort;
    }

    // The device found by its address and loaded, as the search command does.
    void Start(const std::vector<std::string>& options = {}, uint16_t port = DefaultDevicePort)
    {
        b.emplace("sv", options);
        sim = &b->Sim;
        ARPManager().GetIPTable();
        w = std::make_unique<TfVYN>(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
        w->show();
        DevicePort = port;
        w->FindDevice(StrToIP(kDevIp), nullptr, {});
        w->UpdateDeviceState();
        ASSERT_TRUE(w->FDeviceLoaded);
    }

    void Save(const QString& name, const QByteArray& soapBody = {})
    {
        w->txtVYNName->setText(name);
        if (!soapBody.isEmpty()) {
            if (!w->chEnableSOAP->isChecked())
                w->chEnableSOAP->click();
            w->txtSOAP_URL->setText(QStringLiteral("http://10.213.0.1/soap.php"));
            w->SetSoapBody(soapBody);
        }
        Shown.clear();
        w->cmdSaveVals->TlacClick();
    }

    // A file for the device to hold from its start; its name.
    std::string StoredDocument(const QByteArray& document)
    {
        const QString name = dir.filePath(QStringLiteral("stored.xml"));
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(document) == document.size());
        return name.toStdString();
    }

    QTemporaryDir dir;
    std::optional<DeviceBench> b;
    SimDevice* sim = nullptr;
    std::unique_ptr<TfVYN> w;
    QStringList Boxes;
    TMessageTaker taker;
    std::vector<TShown>& Shown = taker.Messages;
    int Puts = 0;
    std::vector<std::pair<const char*, const char*>> AfterUpload;
};

} // namespace

// The pages show the device's records, a save writes them back byte for
// byte unless a field was changed, and the SOAP document goes up when it
// changed.
TEST_F(SaveE2E, ThePagesAndTheDocumentGoToTheDeviceAsTheyAre)
{
    Start();
    const auto records = [&](bool sets) {
        QByteArray all;
        for (uint8_t code : {0xD0, 0xD2, 0xD4, 0xD5})
            all += Bytes(sets ? sim->LastSet(uint8_t(code - 0x10)).value_or(SimDevice::Bytes{}) : sim->Record(code))
                       .mid(4);
        return all;
    };
    const QByteArray read = records(false);
    EXPECT_EQ(w->lblCurrentIP->text(), QString::fromUtf8("Současná IP adresa : ") + kDevIp);

    // Unchanged, bar two normalisations: without a host name the HTTP GET URL
    // names the server's address, which is stored as the host name; a SOAP
    // URL port of 0 comes back as 80, as the rebuilt URL leaves it out.
    Save(w->txtVYNName->text());
    const QByteArray unchanged = records(true);
    QByteArray expected = read;
    const qsizetype hostNameAt = (124 - 4) + (73 - 4);
    ASSERT_EQ(read.mid(hostNameAt, 30), QByteArray(30, '\0'));
    expected.replace(hostNameAt, w->txtHttpIP->text().size(), w->txtHttpIP->text().toLatin1());
    const qsizetype soapPortAt = (124 - 4) + (130 - 4) + (64 - 4);
    ASSERT_EQ(read.mid(soapPortAt, 2), QByteArray(2, '\0'));
    expected.replace(soapPortAt, 2, QByteArray("\x50\x00", 2));
    EXPECT_EQ(unchanged.toHex(' '), expected.toHex(' '));

    // One field changed: only its own bytes (vyn_name, 106..128 of the last
    // record) differ.
    Save(QStringLiteral("Kotelna"));
    expected = unchanged;
    expected.replace(unchanged.size() - 126 + 102, 23, QByteArray("Kotelna").leftJustified(23, '\0'));
    EXPECT_EQ(records(true).toHex(' '), expected.toHex(' '));
    EXPECT_EQ(Puts, 0);

    Save(QStringLiteral("Kotelna"), "<teplota>%t</teplota>");
    EXPECT_TRUE(Boxes.isEmpty());
    EXPECT_EQ(Puts, 1);
    // Byte 1 marks every record but the last.
    for (uint8_t code : {0xC0, 0xC2, 0xC4, 0xC5})
        EXPECT_EQ(sim->LastSet(code).value_or(SimDevice::Bytes(4))[1], code == 0xC5 ? 0x00 : 0x01) << int(code);
    // What the editor held is what the device keeps.
    const QByteArray document = w->BuildSoapDocument(true);
    EXPECT_EQ(sim->SoapDocument(), document.toStdString());

    // Saved again unchanged: the document does not go up a second time.
    Save(QStringLiteral("Kotelna"));
    EXPECT_EQ(Puts, 1);
    EXPECT_TRUE(Shown.empty());
    EXPECT_EQ(sim->SoapDocument(), document.toStdString());
}

// A new address on the pages; then a device that moved before the save is
// written where it answers, and takes back the address the pages hold.
TEST_F(SaveE2E, TheDeviceIsFollowedByItsMAC)
{
    Start();
    w->IPSet->SetValues(QStringLiteral("10.213.0.50"), QStringLiteral("255.255.255.0"), QStringLiteral("0.0.0.0"));
    Save(QStringLiteral("Obyvak"));
    EXPECT_TRUE(Boxes.isEmpty());
    EXPECT_TRUE(Shown.empty());
    EXPECT_EQ(sim->Address().rfind("10.213.0.50/24", 0), 0u) << sim->Address();
    EXPECT_TRUE(w->FDeviceLoaded);
    EXPECT_EQ(IPToStr(w->FDevIP), QStringLiteral("10.213.0.50"));
    EXPECT_EQ(w->IPSet->txtIP->text(), QStringLiteral("10.213.0.50"));

    {
        TfDataSender mover(nullptr, 0, nullptr);
        ASSERT_TRUE(mover.SetIPByMAC(QStringLiteral("02-76-79-6e-00-02"), QStringLiteral("10.213.0.60"),
                                     QStringLiteral("0.0.0.0"), StrToIP(QStringLiteral("255.255.255.0"))));
    }
    Save(QStringLiteral("Sklep"));
    EXPECT_TRUE(Shown.empty());
    EXPECT_TRUE(DeviceNameIs(*sim, QStringLiteral("Sklep")));
    EXPECT_EQ(sim->Address().rfind("10.213.0.50/", 0), 0u) << sim->Address();
    EXPECT_TRUE(w->FDeviceLoaded);
}

// Faults before the save, or after the upload so that only the sets meet
// them; the device stays loaded and the pages keep what was typed.
TEST_F(SaveE2E, FailuresAreReportedAndTheEditsStay)
{
    Start();
    const QString uploadFailed = QString::fromUtf8("Nepodařilo se nahrát SOAP dokument.");
    const QString incomplete = QString::fromUtf8("Nastavení zařízení se nezdařilo kompletně");
    const struct {
        const char* before;
        std::vector<std::pair<const char*, const char*>> after;
        QString text;
        const char* button;
        bool applied;
    } rows[] = {
        {"tftp-error", {}, uploadFailed, "OK [10]", true},
        {"tftp-stall", {}, uploadFailed, "OK [10]", true},
        {"refuse-sets", {}, QString::fromUtf8("Nastavení zařízení se nezdařilo."), "OK", false},
        {nullptr, {{"drop-first", "2"}}, incomplete, "OK", true},
        {nullptr, {{"twice", "1"}, {"drop-first", "2"}}, incomplete, "OK", true},
    };
    int n = 0;
    for (const auto& row : rows) {
        const QString name = QStringLiteral("Chyba%1").arg(++n);
        SCOPED_TRACE(name.toStdString());
        if (row.before)
            sim->Set(row.before);
        AfterUpload = row.after;
        Save(name, name.toLatin1());
        for (const char* fault : {"tftp-error", "tftp-stall", "refuse-sets", "twice"})
            sim->Set(fault, "0");

        // The first line; a failed upload adds the transfer's own words, a
        // refused image the device's.
        ASSERT_EQ(Shown.size(), 1u);
        EXPECT_EQ((TShown{Shown[0].Text.section(QStringLiteral("\r\n"), 0, 0), Shown[0].Button, Shown[0].Icon}),
                  (TShown{row.text, row.button, iconWarning}));
        if (QLatin1String(row.before) == QLatin1String("tftp-error")) {
            EXPECT_EQ(Shown[0].Text.section(QStringLiteral("\r\n"), 1), "upload refused (on purpose)");
        }
        EXPECT_EQ(DeviceNameIs(*sim, name), row.applied);
        EXPECT_EQ(sim->SoapDocument().has_value(), row.text != uploadFailed);
        EXPECT_EQ(w->FDeviceSoapDoc.isEmpty(), row.text == uploadFailed);
        EXPECT_TRUE(w->FDeviceLoaded);
        EXPECT_EQ(w->FDataManager->GetValue(QStringLiteral("vyn_name")).ToText(), name.toLatin1());
    }
}

// A document the load could not fetch stays on the device through a save,
// unless the operator wrote one of their own.
TEST_F(SaveE2E, AFailedFetchLeavesTheDevicesDocumentUnlessTheOperatorChangedIt)
{
    const char* stored = "POST /s HTTP/1.1\r\nHost: 10.213.0.1\r\n\r\n<s/>";
    Start({"--soap", StoredDocument(stored)});
    const struct {
        const char* name;
        const char* typed; // into the body, in edit mode
        const char* kept;  // the device's document afterwards ends so
    } rows[] = {{"Beze", "", stored}, {"Psano", "<x/>", "\r\n\r\n<x/>"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sim->Set("http-500-soap");
        Shown.clear();
        w->FindDevice(w->FDevIP, nullptr, w->FDevMAC);
        w->UpdateDeviceState();
        ASSERT_EQ(Shown.size(), 1u);
        EXPECT_TRUE(Shown[0].Text.startsWith(QString::fromUtf8("Nepodařilo se stáhnout SOAP dokument")));
        ASSERT_TRUE(w->FDeviceSoapDoc.isEmpty());
        sim->Set("http-500-soap", "0");

        Puts = 0;
        w->chEnableSOAP->setChecked(true);
        if (*row.typed) {
            w->chEditSoapDoc->setChecked(true);
            w->mSoapDoc->setFocus();
            QTest::keyClicks(w->mSoapDoc, QString::fromLatin1(row.typed));
        }
        Save(QString::fromLatin1(row.name));
        EXPECT_TRUE(Boxes.isEmpty());
        EXPECT_TRUE(Shown.empty());
        EXPECT_TRUE(DeviceNameIs(*sim, QString::fromLatin1(row.name)));
        EXPECT_EQ(Puts, *row.typed ? 1 : 0);
        ASSERT_TRUE(sim->SoapDocument().has_value());
        const QByteArray now = QByteArray::fromStdString(*sim->SoapDocument());
        EXPECT_TRUE(now.startsWith("POST /") && now.endsWith(row.kept)) << now.toStdString();
        // Found again, the device gives it.
        EXPECT_EQ(w->FDeviceSoapDoc, now);
    }
}

// A path typed into the URL field and saved without Enter is in the
// document the device keeps.
TEST_F(SaveE2E, ATypedURLPathReachesTheStoredDocument)
{
    Start({"--soap", StoredDocument("POST /old HTTP/1.1\r\nHost: 10.213.0.1\r\n\r\n<s/>")});
    w->chEnableSOAP->setChecked(true);
    ASSERT_EQ(w->txtSOAP_URL->text(), QStringLiteral("http://10.213.0.1/old"));
    w->txtSOAP_URL->setFocus();
    w->txtSOAP_URL->selectAll();
    QTest::keyClicks(w->txtSOAP_URL, QStringLiteral("http://10.213.0.1/new/path"));
    Save(QStringLiteral("Cesta"));
    EXPECT_TRUE(Boxes.isEmpty());
    EXPECT_TRUE(Shown.empty());
    EXPECT_EQ(Puts, 1);
    EXPECT_EQ(sim->SoapDocument(), "POST /new/path HTTP/1.1\r\nHost: 10.213.0.1\r\n\r\n<s/>");
    EXPECT_EQ(w->txtSOAP_URL->text(), QStringLiteral("http://10.213.0.1/new/path"));
}

TEST_F(SaveE2E, TheDeviceIsAwaitedOnItsDefaultPortWhateverThePortOfTheSearch)
{
    Start({"--port", "40000"}, 40000);
    Save(QStringLiteral("Port"));
    // Not heard on 30718, found again where it was searched.
    EXPECT_TRUE(Shown.empty());
    EXPECT_TRUE(DeviceNameIs(*sim, QStringLiteral("Port")));
    EXPECT_TRUE(w->FDeviceLoaded);
    EXPECT_EQ(DevicePort, 40000);
    EXPECT_EQ(IPToStr(w->FDevIP), kDevIp);
}

// A DATA block of the upload lost once is sent again: the whole document
// arrives and the save goes on as if nothing had happened.
TEST_F(SaveE2E, TheDocumentArrivesWholeThoughOneOfItsBlocksIsLost)
{
    Start();
    sim->Set("tftp-drop-block", "2");
    QByteArray body;
    for (int i = 0; body.size() < 1200; ++i)
        body += "<t>" + QByteArray::number(i) + "</t>";
    Save(QStringLiteral("Ztrata"), body);
    EXPECT_TRUE(Shown.empty());
    EXPECT_EQ(Puts, 1);
    EXPECT_TRUE(sim->WaitForLog("DATA #2 lost on purpose"));
    EXPECT_EQ(sim->SoapDocument(), w->BuildSoapDocument(true).toStdString());
    EXPECT_TRUE(DeviceNameIs(*sim, QStringLiteral("Ztrata")));
}

// save_screens goes the save and set-IP roads as an operator does, on a
// display of its own in the PC's namespace.
TEST(SaveScreens, TheSaveAndSetIPRoadsOnARealDisplay)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("ss");
    SimDevice sim(bench);
    QTemporaryDir dir;
    const XvfbRun run = [&] {
        NetBench::Entered pc(bench.PcNamespace());
        return RunOnXvfb(SAVE_SCREENS_PATH, dir.path(), 120000);
    }();
    ASSERT_RAN_ON_XVFB(run);
    EXPECT_EQ(run.Out, "Obyvak\nhttp://10.213.0.1/teplota.php\nfocus 1\n10.213.0.60 1 0\n");
    EXPECT_TRUE(DeviceNameIs(sim, QStringLiteral("Obyvak")));
    EXPECT_EQ(sim.Address(), "10.213.0.60/24 0.0.0.0");
    // More than one colour, and some of the entry fields' white.
    const QImage shot(dir.filePath(QStringLiteral("saved.png")));
    ASSERT_FALSE(shot.isNull());
    int white = 0;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            white += shot.pixelColor(x, y) == Qt::white;
    EXPECT_GT(white, 100);
    EXPECT_LT(white, shot.width() * shot.height() / 4);
    // The frame around the wizard's picture, in $408000.
    const QImage finish(dir.filePath(QStringLiteral("finish.png")));
    int frame = 0;
    for (int y = 0; y < finish.height(); ++y)
        for (int x = 0; x < finish.width(); ++x)
            frame += finish.pixel(x, y) == qRgb(0x00, 0x80, 0x40);
    EXPECT_GE(frame, 2 * (172 + 233));
}
