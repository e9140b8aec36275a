// The save command of the main window against the simulated device: what
// arrives, what the device stores, where it is found again and what the
// operator is told.

#include "app/uf_VYN.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_Tlacitko.h"
#include "link/u_ARPTx.h"
#include "link/MessageTaker.h"
#include "model/u_DevData.h"
#include "model/u_DevData_Text.h"
#include "platform/MessageBox.h"
#include "support/NetBench.h"
#include "support/QStringPrint.h"
#include "support/SimDevice.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

const QString kDevIp = QString::fromLatin1(NetBench::DevIp);
const QString kNotSaved = QString::fromUtf8("Nastavení zařízení se nezdařilo.");
const QString kIncomplete = QString::fromUtf8("Nastavení zařízení se nezdařilo kompletně");
const QString kUploadFailed = QString::fromUtf8("Nepodařilo se nahrát SOAP dokument.");

QByteArray Bytes(const SimDevice::Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

class SaveE2E : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!NetBench::IsRoot())
            GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";
        ASSERT_TRUE(dir.isValid());
        platform::SetMessageBoxHook([this](QWidget*, const QString& text, const QString&, unsigned) {
            Boxes << text;
            return int(platform::IDYES);
        });
        // The real upload; a test may change the device's faults between
        // the search before it and the write after it.
        TfVYN::TftpPutHook = [this](const QString& host, const QString& name, const QByteArray& data,
                                    const platform::TftpOptions& options, const platform::TransferEvents& events) {
            ++Puts;
            const auto after = std::move(AfterUpload);
            AfterUpload = nullptr;
            struct TAfter {
                std::function<void()> f;
                ~TAfter()
                {
                    if (f)
                        f();
                }
            } run{after};
            platform::TftpPut(host, name, data, options, events);
        };
    }

    void TearDown() override
    {
        w.reset();
        pc.reset();
        sim.reset();
        bench.reset();
        TfVYN::TftpPutHook = nullptr;
        platform::SetMessageBoxHook(nullptr);
        DevicePort = DefaultDevicePort;
    }

    // The device found by its address and loaded, as the search command does.
    void Start(const std::vector<std::string>& options = {}, uint16_t port = DefaultDevicePort)
    {
        bench = std::make_unique<NetBench>("sv");
        sim = std::make_unique<SimDevice>(*bench, options);
        pc = std::make_unique<NetBench::Entered>(bench->PcNamespace());
        ARPManager().GetIPTable();
        w = std::make_unique<TfVYN>(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
        w->show();
        DevicePort = port;
        w->FindDevice(StrToIP(kDevIp), nullptr, {});
        w->UpdateDeviceState();
        ASSERT_TRUE(w->FDeviceLoaded);
        Shown.clear();
    }

    // SOAP sending on, to a server on the PC, with a body of its own.
    void EditSoap(const QByteArray& body)
    {
        if (!w->chEnableSOAP->isChecked())
            w->chEnableSOAP->click();
        w->txtSOAP_URL->setText(QStringLiteral("http://10.213.0.1/soap.php"));
        w->SetSoapBody(body);
    }

    // vyn_name at 106 of the last record, ended by a zero byte.
    bool DeviceNameIs(const QString& name)
    {
        const QByteArray text = name.toLatin1() + '\0';
        return Bytes(sim->Record(0xD5)).mid(106, text.size()) == text;
    }

    QTemporaryDir dir;
    std::unique_ptr<NetBench> bench;
    std::unique_ptr<SimDevice> sim;
    std::unique_ptr<NetBench::Entered> pc;
    std::unique_ptr<TfVYN> w;
    QStringList Boxes;
    TMessageTaker taker;
    std::vector<TShown>& Shown = taker.Messages;
    int Puts = 0;
    std::function<void()> AfterUpload;
};

} // namespace

TEST_F(SaveE2E, TheDeviceStoresThePagesAndTheDocumentAndIsLoadedAgain)
{
    Start();
    w->txtVYNName->setText(QStringLiteral("Kotelna"));
    EditSoap("<teplota>%t</teplota>");
    w->cmdSaveVals->TlacClick();

    EXPECT_TRUE(Boxes.isEmpty());
    EXPECT_TRUE(Shown.empty());
    EXPECT_EQ(Puts, 1);
    EXPECT_TRUE(DeviceNameIs(QStringLiteral("Kotelna")));
    const uint8_t sets[] = {0xC0, 0xC2, 0xC4, 0xC5};
    for (int i = 0; i < 4; ++i) {
        const auto sent = sim->LastSet(sets[i]);
        ASSERT_TRUE(sent) << i;
        EXPECT_EQ((*sent)[1], i < 3 ? 0x01 : 0x00) << i;
    }
    // What the editor held is what the device keeps and gives back.
    const auto stored = sim->SoapDocument();
    ASSERT_TRUE(stored);
    const QByteArray document = w->BuildSoapDocument(true);
    EXPECT_EQ(QByteArray::fromStdString(*stored), document);
    EXPECT_TRUE(document.endsWith("\r\n\r\n<teplota>%t</teplota>"));
    EXPECT_EQ(w->FDeviceSoapDoc, document);
    EXPECT_TRUE(w->FDeviceLoaded);
    EXPECT_EQ(w->txtVYNName->text(), QStringLiteral("Kotelna"));
    EXPECT_TRUE(w->chEnableSOAP->isChecked());
    EXPECT_EQ(w->txtSOAP_URL->text(), QStringLiteral("http://10.213.0.1/soap.php"));
    EXPECT_FALSE(w->RoadBusy());

    // Saved again unchanged: the document does not go up a second time.
    w->cmdSaveVals->TlacClick();
    EXPECT_EQ(Puts, 1);
    EXPECT_TRUE(Shown.empty());
    EXPECT_EQ(QByteArray::fromStdString(*sim->SoapDocument()), document);
}

TEST_F(SaveE2E, ANewAddressIsFollowedByMAC)
{
    Start();
    w->IPSet->SetValues(QStringLiteral("10.213.0.50"), QStringLiteral("255.255.255.0"), QStringLiteral("0.0.0.0"));
    w->cmdSaveVals->TlacClick();

    EXPECT_TRUE(Boxes.isEmpty());
    EXPECT_TRUE(Shown.empty());
    EXPECT_EQ(sim->Address().rfind("10.213.0.50/24", 0), 0u) << sim->Address();
    EXPECT_TRUE(w->FDeviceLoaded);
    EXPECT_EQ(IPToStr(w->FDevIP), QStringLiteral("10.213.0.50"));
    EXPECT_EQ(w->IPSet->txtIP->text(), QStringLiteral("10.213.0.50"));
}

TEST_F(SaveE2E, ADeviceThatMovedBeforeTheSaveIsWrittenWhereItAnswers)
{
    Start();
    {
        TfDataSender mover(nullptr, 0, nullptr);
        ASSERT_TRUE(mover.SetIPByMAC(QStringLiteral("02-76-79-6e-00-02"), QStringLiteral("10.213.0.60"),
                                     QStringLiteral("0.0.0.0"), StrToIP(QStringLiteral("255.255.255.0"))));
    }
    ASSERT_EQ(sim->Address().rfind("10.213.0.60/", 0), 0u) << sim->Address();
    w->txtVYNName->setText(QStringLiteral("Sklep"));
    w->cmdSaveVals->TlacClick();

    EXPECT_TRUE(Shown.empty());
    EXPECT_TRUE(DeviceNameIs(QStringLiteral("Sklep")));
    // The pages still held its former address, which the records took back.
    EXPECT_EQ(sim->Address().rfind("10.213.0.2/", 0), 0u) << sim->Address();
    EXPECT_TRUE(w->FDeviceLoaded);
    EXPECT_EQ(w->txtVYNName->text(), QStringLiteral("Sklep"));
}

TEST_F(SaveE2E, RefusedSetsLeaveTheEditsInPlace)
{
    Start();
    ASSERT_FALSE(DeviceNameIs(QStringLiteral("Sklep")));
    sim->Set("refuse-sets");
    w->txtVYNName->setText(QStringLiteral("Sklep"));
    w->cmdSaveVals->TlacClick();

    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].Text, kNotSaved);
    EXPECT_FALSE(DeviceNameIs(QStringLiteral("Sklep")));
    EXPECT_TRUE(w->FDeviceLoaded);
    EXPECT_EQ(w->txtVYNName->text(), QStringLiteral("Sklep"));
    EXPECT_EQ(w->FDataManager->GetValue(QStringLiteral("vyn_name")).ToText(), QByteArray("Sklep"));
}

TEST_F(SaveE2E, LostAcknowledgementsAreNotReportedAsSaved)
{
    Start();
    struct Row {
        const char* name;
        bool twice;
        QString vynName;
    };
    const Row rows[] = {
        {"two dropped", false, QStringLiteral("Prvni")},
        {"doubled and two dropped", true, QStringLiteral("Druhy")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Shown.clear();
        // Lost after the search, so that only acknowledgements go.
        AfterUpload = [&] {
            sim->Set("twice", row.twice ? "1" : "0");
            sim->Set("drop-first", "2");
        };
        w->txtVYNName->setText(row.vynName);
        EditSoap(row.vynName.toLatin1());
        w->cmdSaveVals->TlacClick();
        sim->Set("twice", "0");

        ASSERT_EQ(Shown.size(), 1u);
        EXPECT_EQ(Shown[0].Text, kIncomplete);
        // The sets were applied all the same: the reload shows them.
        EXPECT_TRUE(w->FDeviceLoaded);
        EXPECT_EQ(w->txtVYNName->text(), row.vynName);
    }
}

TEST_F(SaveE2E, AnUploadTheDeviceRefusesStillWritesTheRecords)
{
    Start();
    for (const char* fault : {"tftp-error", "tftp-stall"}) {
        SCOPED_TRACE(fault);
        Shown.clear();
        sim->Set(fault);
        const QString name = QString::fromLatin1(fault);
        w->txtVYNName->setText(name);
        EditSoap(QByteArray("<x>") + fault + "</x>");
        w->cmdSaveVals->TlacClick();
        sim->Set(fault, "0");

        ASSERT_EQ(Shown.size(), 1u);
        EXPECT_EQ(Shown[0].Text, kUploadFailed);
        EXPECT_EQ(Shown[0].Button, QStringLiteral("OK [10]"));
        EXPECT_TRUE(DeviceNameIs(name));
        EXPECT_FALSE(sim->SoapDocument());
        EXPECT_TRUE(w->FDeviceLoaded);
        EXPECT_TRUE(w->FDeviceSoapDoc.isEmpty());
    }
}

TEST_F(SaveE2E, TheDeviceIsAwaitedOnItsDefaultPortWhateverThePortOfTheSearch)
{
    Start({"--port", "40000"}, 40000);
    w->txtVYNName->setText(QStringLiteral("Port"));
    w->cmdSaveVals->TlacClick();

    // Not heard on 30718, found again where it was searched.
    EXPECT_TRUE(Shown.empty());
    EXPECT_TRUE(DeviceNameIs(QStringLiteral("Port")));
    EXPECT_TRUE(w->FDeviceLoaded);
    EXPECT_EQ(DevicePort, 40000);
    EXPECT_EQ(IPToStr(w->FDevIP), kDevIp);
}

TEST(SaveScreens, TheWholeRoadOnARealDisplay)
{
    VYN_REQUIRE_ROOT();
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "xvfb-run is not installed";
    NetBench bench("ss");
    SimDevice sim(bench);
    QTemporaryDir dir;
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    run.setProcessEnvironment(env);
    {
        // The program and its display live on the PC's side of the bench.
        NetBench::Entered pc(bench.PcNamespace());
        run.start(xvfb, {"-a", "-s", "-screen 0 1024x768x24", SAVE_SCREENS_PATH, dir.path(), kDevIp});
        ASSERT_TRUE(run.waitForStarted());
    }
    ASSERT_TRUE(run.waitForFinished(120000));
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromLatin1(run.readAllStandardOutput()).split(u'\n'),
              (QStringList{"Obyvak", "http://10.213.0.1/teplota.php", ""}));

    const QByteArray name("Obyvak\0", 7);
    EXPECT_EQ(Bytes(sim.Record(0xD5)).mid(106, name.size()), name);
    // The settings page on screen: more than one colour, and some of the
    // entry fields' white.
    const QImage shot(dir.filePath(QStringLiteral("saved.png")));
    ASSERT_FALSE(shot.isNull());
    int white = 0;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            white += shot.pixelColor(x, y) == Qt::white;
    EXPECT_GT(white, 100);
    EXPECT_LT(white, shot.width() * shot.height() / 4);
}
