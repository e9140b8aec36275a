// The save and defaults commands where the device is a stand-in on loopback,
// the PC's address tables a fake and the upload a recording: what the
// operator is asked, what is sent and uploaded, and what is kept.
#include "MainWindowFixture.h"

#include "app/ufrm_IPSet.h"
#include "app/ufrm_Tlacitko.h"
#include "link/FakeIpHelper.h"
#include "link/LoopDevice.h"
#include "link/MessageTaker.h"
#include "model/u_DevData.h"
#include "model/u_DevData_Text.h"
#include "platform/MessageBox.h"
#include "support/QStringPrint.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

namespace {

const QString kWarning = QString::fromUtf8("Varování");
const QString kUploadFailed = QString::fromUtf8("Nepodařilo se nahrát SOAP dokument.");
const QString kNotSaved = QString::fromUtf8("Nastavení zařízení se nezdařilo.");
const std::array<uint8_t, 6> kDevMac{0x02, 0xab, 0xcd, 0xef, 0x01, 0x02};

struct TBox
{
    QString Text;
    QString Caption;
    unsigned Flags = 0;
    bool RoadBusy = false;
};

struct TPut
{
    QString Host;
    QString Name;
    QByteArray Data;
    platform::TftpOptions Options;
};

class SaveTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        fake.Addrs.push_back(Row("10.0.0.1", "255.255.255.0"));
        fake.Addrs.push_back(Row("127.0.0.1", "255.0.0.0"));
        std::copy(kDevMac.begin(), kDevMac.end(), fake.ArpReplyMac);
        SetIpHelperLoader([this] { return std::make_unique<FakeIpHelperLink>(fake); });
        platform::SetMessageBoxHook([this](QWidget*, const QString& text, const QString& caption, unsigned flags) {
            Boxes.push_back({text, caption, flags, w && w->RoadBusy()});
            return Answer;
        });
        TfVYN::TftpPutHook = [this](const QString& host, const QString& name, const QByteArray& data,
                                    const platform::TftpOptions& options, const platform::TransferEvents&) {
            Puts.push_back({host, name, data, options});
            if (PutError)
                throw Exception(*PutError);
        };

        w = std::make_unique<TfVYN>(nullptr, ini);
        LocalAdapterIP = 0;
        ARPManager().GetIPTable();
    }

    void TearDown() override
    {
        w.reset();
        device.reset();
        TfVYN::TftpPutHook = nullptr;
        platform::SetMessageBoxHook(nullptr);
        SetIpHelperLoader(nullptr);
        DevicePort = DefaultDevicePort;
        MainWindowTest::TearDown();
    }

    static MIB_IPADDRROW Row(const char* addr, const char* mask)
    {
        MIB_IPADDRROW r{};
        r.dwAddr = StrToIP(QString::fromLatin1(addr));
        r.dwMask = StrToIP(QString::fromLatin1(mask));
        r.dwIndex = 1;
        return r;
    }

    // A device at 127.0.0.2 whose records were all loaded, with pages that
    // would validate; Replies: how the stand-in answers.
    void LoadedDevice(TLoopDevice::Replier replies = DeviceReplies(TDeviceFacts{}))
    {
        device = std::make_unique<TLoopDevice>(std::move(replies));
        DevicePort = device->Port();
        TDataManager& m = *w->FDataManager;
        m.ApplyDefaults();
        m.SetValue(QStringLiteral("SetupRecord0.unit_ip"), "10.0.0.9");
        for (int i = 0; i < m.Count(); ++i)
            if (m.GetPacket(i)->PacketType() == ptSetup)
                m.GetPacket(i)->SetLoaded(true);
        w->FDevIP = StrToIP(device->IP());
        w->FDevMAC = kDevMac;
        w->FDeviceLoaded = true;
        w->DataToControls();
    }

    // The SOAP switch and what the device held at the last load.
    void Soap(bool enabled, const QByteArray& fetched, const QByteArray& body)
    {
        w->FDataManager->SetValue(QStringLiteral("enable_soap"), enabled);
        w->FDeviceSoapDoc = fetched;
        w->SetSoapBody(body);
    }

    bool SoapFlag() { return w->FDataManager->GetValue(QStringLiteral("soap_file_available")).ToBool(); }
    bool SentSomething() { return device && !device->Received().empty(); }
    bool HasConversationWindow() { return !w->findChildren<TfDataSender*>().isEmpty(); }

    FakeIpHelper fake;
    std::unique_ptr<TLoopDevice> device;
    std::unique_ptr<TfVYN> w;
    std::vector<TBox> Boxes;
    int Answer = platform::IDYES;
    std::vector<TPut> Puts;
    std::optional<QString> PutError;
    TMessageTaker taker;
    std::vector<TShown>& Shown = taker.Messages;
};

// The image of one "postsoap.xml" entry without a header: magic, one
// directory record, the terminator at 23, the document from 24.
QByteArray OneEntryImage(const QByteArray& document)
{
    QByteArray image("CoB1");
    image += char(12);
    image += char(document.size() & 0xFF);
    image += char(document.size() >> 8);
    image += QByteArray::fromHex("18000000");
    image += "postsoap.xml";
    image += '\0';
    return image + document;
}

} // namespace

TEST_F(SaveTest, RefusedPagesAndAnsweredNoSendNothing)
{
    LoadedDevice();
    w->show();

    // A control the model refuses: its page in front, the text in a box.
    w->IPSet->SetValues(QStringLiteral("0.0.0.0"), QStringLiteral("255.255.255.0"), QStringLiteral("0.0.0.0"));
    w->cmdSaveVals->TlacClick();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, QString::fromUtf8("Síťové nastavení není v pořádku."));
    EXPECT_EQ(Boxes[0].Caption, QStringLiteral("VYN"));
    EXPECT_EQ(Boxes[0].Flags, 16u);
    EXPECT_EQ(w->pnlSettingsHold->children().last(), w->pnlNetSet);

    // An address outside the PC's subnets, answered No.
    struct Question {
        const char* ip;
        const char* arpMac;
        QString text;
        QString caption;
        unsigned flags;
    };
    const Question questions[] = {
        {"10.1.0.9", "02abcdef0102",
         QString::fromUtf8("IP adresa, kterou chcete přiřadit (10.1.0.9) nepřísluší stejné podsíti jako tento "
                           "počítač.\r\nChcete ji přesto přiřadit?"),
         kWarning, 308},
        {"10.0.0.9", "001a2b3c4d5e",
         QString::fromUtf8("IP adresa 10.0.0.9 již je přiřazena jinému zařízení v síti (00-1a-2b-3c-4d-5e) a "
                           "mohlo by dojít ke konfliktu.\r\nChcete přesto pokračovat?"),
         kWarning, 292},
    };
    Answer = platform::IDNO;
    for (const Question& q : questions) {
        SCOPED_TRACE(q.ip);
        Boxes.clear();
        const QByteArray mac = QByteArray::fromHex(q.arpMac);
        std::copy(mac.begin(), mac.end(), fake.ArpReplyMac);
        w->IPSet->SetValues(QString::fromLatin1(q.ip), QStringLiteral("255.255.255.0"), QStringLiteral("0.0.0.0"));
        w->txtVYNName->setText(QStringLiteral("Sklep"));
        w->cmdSaveVals->TlacClick();
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Text, q.text);
        EXPECT_EQ(Boxes[0].Caption, q.caption);
        EXPECT_EQ(Boxes[0].Flags, q.flags);
        EXPECT_TRUE(Boxes[0].RoadBusy);
        // The validated values stay in the model and on the pages.
        EXPECT_EQ(w->FDataManager->GetValue(QStringLiteral("vyn_name")).ToText(), QByteArray("Sklep"));
        EXPECT_EQ(w->txtVYNName->text(), QStringLiteral("Sklep"));
    }
    EXPECT_FALSE(w->RoadBusy());
    EXPECT_FALSE(SentSomething());
    EXPECT_FALSE(HasConversationWindow());
    EXPECT_TRUE(Puts.empty());
    EXPECT_TRUE(Shown.empty());
}

TEST_F(SaveTest, TheDocumentGoesUpOnlyWhenItChangedAndTheFlagSaysWhatTheDeviceHolds)
{
    LoadedDevice();
    w->SetSoapBody(QByteArray("<a/>"));
    const QByteArray current = w->BuildSoapDocument(true);
    const QByteArray big(70000, 'x');

    struct Row {
        const char* name;
        bool enabled;
        QByteArray fetched;
        QByteArray body;
        std::optional<QString> putError;
        bool put;
        bool image; // the put carries the one-entry image, else an empty one
        bool flag;
        QString warning; // empty: none
    };
    const Row rows[] = {
        {"off, none fetched", false, {}, "<a/>", {}, false, false, false, {}},
        {"off, one fetched", false, "doc", "<a/>", {}, false, false, true, {}},
        {"unchanged", true, current, "<a/>", {}, false, false, true, {}},
        {"changed", true, "doc", "<a/>", {}, true, true, true, {}},
        {"new", true, {}, "<a/>", {}, true, true, true, {}},
        {"emptied", true, "doc", {}, {}, true, false, false, {}},
        {"empty, none fetched", true, {}, {}, {}, true, false, false, {}},
        {"refused by the device", true, {}, "<a/>", QStringLiteral("Disk full"), true, true, false, kUploadFailed},
        {"refused, one fetched", true, "doc", "<a/>", QStringLiteral("Disk full"), true, true, true, kUploadFailed},
        {"over one block", true, "doc", big, {}, false, false, true,
         kUploadFailed + QString::fromUtf8("\r\nSOAP dokument se nevejde do bloku zařízení (nejvýše 65535 B).")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Puts.clear();
        Shown.clear();
        PutError = row.putError;
        Soap(row.enabled, row.fetched, row.body);
        const QByteArray document = row.image ? w->BuildSoapDocument(true) : QByteArray();
        const size_t before = device->Received().size();

        TfVYN::TWriteCounts counts;
        EXPECT_TRUE(w->WriteToDevice(nullptr, &counts));
        EXPECT_EQ(counts.Sent, 4);
        EXPECT_EQ(counts.Acked, 4);
        // The records go whatever became of the upload: a search and four sets.
        ASSERT_TRUE(device->WaitForReceived(before + 5));
        ASSERT_EQ(Puts.size(), row.put ? 1u : 0u);
        if (row.put) {
            EXPECT_EQ(Puts[0].Host, QStringLiteral("127.0.0.2"));
            EXPECT_EQ(Puts[0].Name, QStringLiteral("WEB6"));
            EXPECT_EQ(Puts[0].Options.Port, 69);
            EXPECT_EQ(Puts[0].Options.BlockSize, 512);
            EXPECT_EQ(Puts[0].Options.TimeoutMs, 3000);
            EXPECT_EQ(Puts[0].Data.toHex(' '),
                      (row.image ? OneEntryImage(document) : QByteArray("CoB1", 5)).toHex(' '));
        }
        EXPECT_EQ(SoapFlag(), row.flag);
        if (row.warning.isEmpty()) {
            EXPECT_TRUE(Shown.empty());
        } else {
            ASSERT_EQ(Shown.size(), 1u);
            EXPECT_EQ(Shown[0].Text, row.warning);
            EXPECT_EQ(Shown[0].Button, QStringLiteral("OK [10]"));
        }
        EXPECT_FALSE(HasConversationWindow() && w->findChild<TfDataSender*>()->isVisible());
    }
}

TEST_F(SaveTest, TheMessageFollowsTheWriteCounts)
{
    struct Row {
        int sent;
        int acked;
        QString text;
    };
    const Row rows[] = {
        {0, 0, kNotSaved},
        {5, 0, kNotSaved},
        {5, 3, QString::fromUtf8("Nastavení zařízení se nezdařilo kompletně")},
        {5, 5, QString()},
    };
    for (const Row& row : rows)
        EXPECT_EQ(TfVYN::SaveFailureText({row.sent, row.acked}), row.text) << row.sent << " " << row.acked;
}

TEST_F(SaveTest, DefaultValuesFillThePagesAndSendNothing)
{
    LoadedDevice();
    w->txtVYNName->setText(QStringLiteral("Sklep"));
    TDataManager& m = *w->FDataManager;
    m.SetValue(QStringLiteral("vyn_name"), "Sklep");
    m.SetValue(QStringLiteral("web_port"), int32_t(8080));
    m.SetValue(QStringLiteral("read_community"), "tajne");
    m.SetValue(QStringLiteral("send_interval"), int32_t(300));
    m.SetValue(QStringLiteral("enable_soap"), true);
    w->DataToControls();

    w->cmdDefaultVal->TlacClick();
    EXPECT_EQ(w->txtVYNName->text(), QStringLiteral("VYN"));
    EXPECT_EQ(w->seWebPort->value(), 80);
    EXPECT_EQ(w->txtReadCommunity->text(), QStringLiteral("garnet"));
    EXPECT_EQ(w->seInterval->value(), 10);
    EXPECT_FALSE(w->chEnableSOAP->isChecked());
    EXPECT_FALSE(SentSomething());
    EXPECT_FALSE(HasConversationWindow());
    EXPECT_TRUE(Boxes.empty());

    // Not while another road runs.
    w->txtVYNName->setText(QStringLiteral("Sklep"));
    m.SetValue(QStringLiteral("vyn_name"), "Sklep");
    {
        TfVYN::TRoadGuard road(*w);
        w->cmdDefaultVal->TlacClick();
        w->cmdSaveVals->TlacClick();
    }
    EXPECT_EQ(w->txtVYNName->text(), QStringLiteral("Sklep"));
    EXPECT_TRUE(Boxes.empty());
    EXPECT_FALSE(SentSomething());
}
