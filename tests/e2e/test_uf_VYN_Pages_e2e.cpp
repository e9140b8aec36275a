// The settings pages against the simulated device: its records shown on the
// pages, and written back byte for byte unless a field was changed.

#include "app/uf_VYN.h"
#include "app/MyUtils.h"
#include "app/ufrm_IPSet.h"
#include "link/u_ARPTx.h"
#include "link/uf_DataSender.h"
#include "model/u_DevData.h"
#include "support/NetBench.h"
#include "support/QStringPrint.h"
#include "support/SimDevice.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kDevIp = QString::fromLatin1(NetBench::DevIp);
const uint8_t kAnswers[] = {0xD0, 0xD2, 0xD4, 0xD5};
const uint8_t kSets[] = {0xC0, 0xC2, 0xC4, 0xC5};

QByteArray Bytes(const SimDevice::Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

class PagesE2E : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!NetBench::IsRoot())
            GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";
        bench = std::make_unique<NetBench>("pg");
        sim = std::make_unique<SimDevice>(*bench);
        pc = std::make_unique<NetBench::Entered>(bench->PcNamespace());
        ARPManager().GetIPTable();
        ASSERT_TRUE(dir.isValid());
        w = std::make_unique<TfVYN>(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
    }

    void TearDown() override
    {
        w.reset();
        pc.reset();
        sim.reset();
        bench.reset();
    }

    // One conversation window per transfer, as the main window makes them.
    int Transfer(bool Write)
    {
        TfDataSender sender(nullptr, 0, w->FDataManager.get());
        sender.show();
        if (Write) {
            sender.PrepareTransfer2(kDevIp);
            return sender.WriteAllRecords(true);
        }
        sender.PrepareTransfer(kDevIp);
        return sender.ReadAllRecords();
    }

    // The set records as they arrived, without their headers.
    QByteArray Written()
    {
        QByteArray all;
        for (uint8_t code : kSets) {
            const auto sent = sim->LastSet(code);
            EXPECT_TRUE(sent) << int(code);
            if (sent)
                all += Bytes(*sent).mid(4);
        }
        return all;
    }

    QTemporaryDir dir;
    std::unique_ptr<NetBench> bench;
    std::unique_ptr<SimDevice> sim;
    std::unique_ptr<NetBench::Entered> pc;
    std::unique_ptr<TfVYN> w;
};

} // namespace

TEST_F(PagesE2E, TheDevicesRecordsShowOnThePagesAndGoBackAsTheyCame)
{
    ASSERT_EQ(Transfer(false), 4);
    QByteArray read;
    for (uint8_t code : kAnswers)
        read += Bytes(sim->Record(code)).mid(4);
    w->FDevIP = StrToIPAddr(kDevIp);
    w->DataToControls();

    // What the device holds, on the pages.
    const QByteArray e5 = Bytes(sim->Record(0xD5));
    EXPECT_EQ(w->txtVYNName->text(), QString::fromLatin1(e5.mid(106, 23).constData()));
    EXPECT_EQ(w->IPSet->txtIP->text(), kDevIp);
    const QByteArray e4 = Bytes(sim->Record(0xD4));
    EXPECT_EQ(w->txtReadCommunity->text(), QString::fromLatin1(e4.mid(82, 15).constData()));
    EXPECT_EQ(w->seInterval->value(), uint8_t(e4[114]) | uint8_t(e4[115]) << 8);
    EXPECT_EQ(w->lblCurrentIP->text(), QString::fromUtf8("Současná IP adresa : ") + kDevIp);

    // Unchanged pages: every byte as it was read.
    ASSERT_TRUE(w->ControlsToData());
    ASSERT_EQ(Transfer(true), 4);
    const QByteArray unchanged = Written();
    // Bar one normalisation: without a host name the HTTP GET URL names the
    // server's address, and that address is stored as the host name.
    QByteArray expected = read;
    const qsizetype hostNameAt = (124 - 4) + (73 - 4);
    ASSERT_EQ(read.mid(hostNameAt, 30), QByteArray(30, '\0'));
    const QByteArray address = w->txtHttpIP->text().toLatin1();
    expected.replace(hostNameAt, address.size(), address);
    // And a SOAP URL port of 0 comes back as 80: the rebuilt URL leaves it out.
    const qsizetype soapPortAt = (124 - 4) + (130 - 4) + (64 - 4);
    ASSERT_EQ(read.mid(soapPortAt, 2), QByteArray(2, '\0'));
    expected.replace(soapPortAt, 2, QByteArray("\x50\x00", 2));
    EXPECT_EQ(unchanged.toHex(' '), expected.toHex(' '));

    // One field changed: only its own bytes differ.
    w->txtVYNName->setText(QStringLiteral("Kotelna"));
    ASSERT_TRUE(w->ControlsToData());
    ASSERT_EQ(Transfer(true), 4);
    const QByteArray changed = Written();
    ASSERT_EQ(changed.size(), unchanged.size());
    // vyn_name lies at 106..128 of the last record.
    const qsizetype nameAt = unchanged.size() - (130 - 4) + (106 - 4);
    for (qsizetype i = 0; i < changed.size(); ++i)
        if (i < nameAt || i >= nameAt + 23) {
            EXPECT_EQ(changed[i], unchanged[i]) << "byte " << i;
        }
    EXPECT_EQ(changed.mid(nameAt, 8), QByteArray("Kotelna\0", 8));
    EXPECT_EQ(Bytes(sim->Record(0xD5)).mid(106, 8), QByteArray("Kotelna\0", 8));
}
