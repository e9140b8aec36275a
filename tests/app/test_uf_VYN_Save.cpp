// The save and defaults commands where the device is a stand-in on loopback,
// the PC's address tables a fake and the upload a recording: what the
// operator is asked, what is sent and uploaded, and what is kept.
#include "PagesFixture.h"

#include "app/Panel.h"
#include "link/FakeIpHelper.h"
#include "link/LoopDevice.h"
#include "link/MessageTaker.h"
#include "model/u_DevData_Text.h"

namespace {

const QString kUploadFailed = Utf("Nepodařilo se nahrát SOAP dokument.");
const std::array<uint8_t, 6> kDevMac{0x02, 0xab, 0xcd, 0xef, 0x01, 0x02};

class SaveTest : public PagesTest
{
protected:
    void SetUp() override
    {
        PagesTest::SetUp();
        // The PC's one subnet.
        fake.Addrs.push_back(
            {StrToIP(QStringLiteral("10.0.0.1")), 1, StrToIP(QStringLiteral("255.255.255.0")), 0, 0, 0, 0});
        std::copy(kDevMac.begin(), kDevMac.end(), fake.ArpReplyMac);
        SetIpHelperLoader([this] { return std::make_unique<FakeIpHelperLink>(fake); });
        TfVYN::TftpPutHook = [this](const QString& host, const QString& name, const QByteArray& data,
                                    const platform::TftpOptions& o, const platform::TransferEvents&) {
            Puts.push_back(
                {QStringLiteral("%1 %2 %3/%4/%5").arg(host, name).arg(o.Port).arg(o.BlockSize).arg(o.TimeoutMs), data});
            if (RefusePut)
                throw Exception(QStringLiteral("Disk full"));
        };
        w = std::make_unique<TfVYN>(nullptr, ini);
        LocalAdapterIP = 0;
        ARPManager().GetIPTable();

        // A device at 127.0.0.2 whose records were all loaded, with pages
        // that would validate.
        device = std::make_unique<TLoopDevice>(DeviceReplies(TDeviceFacts{}));
        DevicePort = device->Port();
        M().ApplyDefaults();
        Set("SetupRecord0.unit_ip", "10.0.0.9");
        for (int i = 0; i < M().Count(); ++i)
            if (M().GetPacket(i)->PacketType() == ptSetup)
                M().GetPacket(i)->SetLoaded(true);
        w->FDevIP = StrToIP(device->IP());
        w->FDevMAC = kDevMac;
        w->FDeviceLoaded = true;
        w->DataToControls();
    }

    void TearDown() override
    {
        TfVYN::TftpPutHook = nullptr;
        SetIpHelperLoader(nullptr);
        DevicePort = DefaultDevicePort;
        PagesTest::TearDown();
    }

    bool HasConversationWindow() { return !w->findChildren<TfDataSender*>().isEmpty(); }

    FakeIpHelper fake;
    std::unique_ptr<TLoopDevice> device;
    std::vector<std::pair<QString, QByteArray>> Puts; // where and how, what
    bool RefusePut = false;
    TMessageTaker taker; // the conversation windows' messages
    std::vector<TShown>& Shown = taker.Messages;
};

// The image of one "postsoap.xml" entry without a header: magic, one
// directory record, the terminator at 23, the document from 24.
QByteArray OneEntryImage(const QByteArray& document)
{
    return QByteArray("CoB1\x0c", 5) + char(document.size() & 0xFF) + char(document.size() >> 8) +
           QByteArray::fromHex("18000000") + QByteArray("postsoap.xml", 13) + document;
}

} // namespace

TEST_F(SaveTest, RefusedPagesAnsweredNoAndDefaultValuesSendNothing)
{
    w->show();
    const QString warning = Utf("Varování");
    struct Question {
        const char* ip;
        const char* arpMac;
        QString text;
        QString caption;
        unsigned flags;
    };
    const Question questions[] = {
        // A control the model refuses: its page in front, the text in a box.
        {"0.0.0.0", "02abcdef0102", Utf("Síťové nastavení není v pořádku."), QStringLiteral("VYN"), 16},
        {"10.1.0.9", "02abcdef0102",
         Utf("IP adresa, kterou chcete přiřadit (10.1.0.9) nepřísluší stejné podsíti jako tento počítač.\r\n"
             "Chcete ji přesto přiřadit?"),
         warning, 308},
        {"10.0.0.9", "001a2b3c4d5e",
         Utf("IP adresa 10.0.0.9 již je přiřazena jinému zařízení v síti (00-1a-2b-3c-4d-5e) a mohlo by dojít ke "
             "konfliktu.\r\nChcete přesto pokračovat?"),
         warning, 292},
    };
    answer = platform::IDNO;
    for (const Question& q : questions) {
        SCOPED_TRACE(q.ip);
        boxes.clear();
        const QByteArray mac = QByteArray::fromHex(q.arpMac);
        std::copy(mac.begin(), mac.end(), fake.ArpReplyMac);
        w->IPSet->SetValues(QString::fromLatin1(q.ip), QStringLiteral("255.255.255.0"), QStringLiteral("0.0.0.0"));
        w->txtVYNName->setText(QStringLiteral("Sklep"));
        w->cmdSaveVals->TlacClick();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, q.text);
        EXPECT_EQ(std::pair(boxes[0].caption, boxes[0].flags), std::pair(q.caption, q.flags));
        EXPECT_EQ(Text("vyn_name"), QStringLiteral("Sklep")); // validated and kept
    }
    EXPECT_EQ(w->pnlSettingsHold->children().last(), w->pnlNetSet);

    // Default values fill the pages and send nothing either.
    w->chEnableSOAP->setChecked(true);
    w->cmdDefaultVal->TlacClick();
    EXPECT_EQ(w->txtVYNName->text(), QStringLiteral("VYN"));
    EXPECT_FALSE(w->chEnableSOAP->isChecked());
    EXPECT_FALSE(w->RoadBusy());
    EXPECT_TRUE(device->Received().empty());
    EXPECT_FALSE(HasConversationWindow());
    EXPECT_TRUE(Puts.empty());
    EXPECT_TRUE(Shown.empty());
}

TEST_F(SaveTest, TheDocumentGoesUpOnlyWhenItChangedAndTheFlagSaysWhatTheDeviceHolds)
{
    w->SetSoapBody(QByteArray("<a/>"));
    const QByteArray current = w->BuildSoapDocument(true);
    const QString diskFull = kUploadFailed + QStringLiteral("\r\nDisk full");

    struct Row {
        const char* name;
        bool enabled;
        bool reported; // soap_file_available as the device gave it
        QByteArray fetched;
        bool edited; // the operator changed the document since the load
        QByteArray body;
        bool refused;
        bool put;
        bool image; // the put carries the one-entry image, else an empty one
        bool flag;
        QString warning; // empty: none
        bool deleted = false; // the body was deleted by its command
    };
    const Row rows[] = {
        {"off, none fetched", false, false, {}, false, "<a/>", false, false, false, false, {}},
        {"off, one fetched", false, true, "doc", false, "<a/>", false, false, false, true, {}},
        {"unchanged", true, true, current, true, "<a/>", false, false, false, true, {}},
        {"changed", true, true, "doc", true, "<a/>", false, true, true, true, {}},
        {"new", true, false, {}, false, "<a/>", false, true, true, true, {}},
        {"emptied", true, true, "doc", true, {}, false, true, false, false, {}},
        {"empty, none fetched", true, false, {}, false, {}, false, true, false, false, {}},
        {"refused by the device", true, false, {}, false, "<a/>", true, true, true, false, diskFull},
        {"refused, one fetched", true, true, "doc", true, "<a/>", true, true, true, true, diskFull},
        {"over one block", true, true, "doc", true, QByteArray(70000, 'x'), false, false, false, true,
         kUploadFailed + Utf("\r\nSOAP dokument se nevejde do bloku zařízení (nejvýše 65535 B).")},
        // The device holds a document the load could not fetch.
        {"fetch failed, untouched", true, true, {}, false, {}, false, false, false, true, {}},
        {"fetch failed, off", false, true, {}, false, {}, false, false, false, true, {}},
        {"fetch failed, body given", true, true, {}, true, "<a/>", false, true, true, true, {}},
        // A header change alone leaves the body as the failed fetch left it.
        {"fetch failed, header changed", true, true, {}, true, {}, false, false, false, true, {}},
        {"fetch failed, body deleted", true, true, {}, true, {}, false, true, false, false, {}, true},
        {"fetch failed, refused", true, true, {}, true, "<a/>", true, true, true, true, diskFull},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Puts.clear();
        Shown.clear();
        RefusePut = row.refused;
        Set("enable_soap", row.enabled);
        Set("soap_file_available", row.reported);
        w->FDeviceSoapDoc = row.fetched;
        w->SetSoapBody(row.body);
        w->FSoapDocEdited = row.edited;
        w->FSoapDocDeleted = row.deleted;
        const QByteArray document = row.image ? w->BuildSoapDocument(true) : QByteArray();
        const size_t before = device->Received().size();

        TfVYN::TWriteCounts counts;
        EXPECT_TRUE(w->WriteToDevice(nullptr, &counts));
        EXPECT_EQ(std::pair(counts.Sent, counts.Acked), std::pair(4, 4));
        // The records go whatever became of the upload: a search and four sets.
        ASSERT_TRUE(device->WaitForReceived(before + 5));
        ASSERT_EQ(Puts.size(), row.put ? 1u : 0u);
        if (row.put) {
            EXPECT_EQ(Puts[0].first, QStringLiteral("127.0.0.2 WEB6 69/512/3000"));
            EXPECT_EQ(Puts[0].second.toHex(' '),
                      (row.image ? OneEntryImage(document) : QByteArray("CoB1", 5)).toHex(' '));
        }
        EXPECT_EQ(M().GetValue(QStringLiteral("soap_file_available")).ToBool(), row.flag);
        // A document that went up is the device's from now on.
        EXPECT_EQ(w->FSoapDocEdited, row.edited && !(row.put && !row.refused));
        ASSERT_EQ(Shown.size(), row.warning.isEmpty() ? 0u : 1u);
        if (!Shown.empty()) {
            EXPECT_EQ(Shown[0].Text + u' ' + Shown[0].Button, row.warning + QStringLiteral(" OK [10]"));
        }
        EXPECT_FALSE(HasConversationWindow() && w->findChild<TfDataSender*>()->isVisible());
    }
}

// The counts of a write that only one record of four got through, and the
// message each outcome gives.
TEST_F(SaveTest, TheMessageFollowsHowManyRecordsWereAcknowledged)
{
    device = std::make_unique<TLoopDevice>([replies = DeviceReplies(TDeviceFacts{})](const QByteArray& request) {
        const uint8_t code = request.size() < 4 ? 0 : uint8_t(request[3]);
        // Only the first set record is acknowledged.
        if (code == 0xC2 || code == 0xC4 || code == 0xC5)
            return std::vector<QByteArray>{};
        return replies(request);
    });
    DevicePort = device->Port();
    TfVYN::TWriteCounts counts;
    EXPECT_FALSE(w->WriteToDevice(nullptr, &counts));
    EXPECT_EQ(std::pair(counts.Sent, counts.Acked), std::pair(4, 1));
    EXPECT_FALSE(w->FDeviceLoaded);

    const QString none = Utf("Nastavení zařízení se nezdařilo.");
    const QString incomplete = Utf("Nastavení zařízení se nezdařilo kompletně");
    const struct {
        int32_t sent, acked;
        QString text;
    } rows[] = {{4, 0, none}, {0, 0, none}, {4, 1, incomplete}, {5, 3, incomplete}, {2, 1, incomplete},
                {1, 1, {}},   {4, 4, {}}};
    for (const auto& row : rows)
        EXPECT_EQ(TfVYN::SaveFailureText({row.sent, row.acked}), row.text) << row.acked << " of " << row.sent;
}
