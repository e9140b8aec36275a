// The static ARP way of setting a device's IP on the real ARP table of a
// test's own PC namespace, with no device at all: the operator goes on
// after the device was not found. It checks what must hold however the
// conversation ends: the temporary static entry is gone afterwards and the
// time-out is restored. Needs root; no window.

#include "link/ConversationTestKit.h"
#include "support/QStringPrint.h"
#include "link/u_ARPTx.h"
#include "support/NetBench.h"


#include <QCoreApplication>

#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kMac = QStringLiteral("02-00-00-aa-bb-cc");
const QString kNewIP = QStringLiteral("10.213.0.60");

std::string Neighbour(const NetBench& bench)
{
    return bench.OutputInPc("ip neigh show 10.213.0.60");
}

class StaticARPWay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!NetBench::IsRoot())
            GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";
        bench = std::make_unique<NetBench>("dsarp");
    }

    // The conversation on a thread of its own inside the PC namespace.
    void RunInPc(bool withoutNetCaps, const std::function<void()>& fn)
    {
        NetBench::RunOnThreadIn(bench->PcNamespace(), withoutNetCaps, [&] {
            ARPManager().GetIPTable();
            fn();
        });
    }

    std::unique_ptr<NetBench> bench;
};

} // namespace

TEST_F(StaticARPWay, EntryIsRemovedWhenTheConversationIsInterrupted)
{
    TRecordingConversations c(0, nullptr);
    c.TimeoutMs = 300;
    std::string entryWhileWaiting;
    int32_t timeoutWhileWaiting = 0;
    c.OnCaption = [&](const QString& text) {
        if (text == QStringLiteral("Čekám na zařízení...")) {
            entryWhileWaiting = Neighbour(*bench);
            timeoutWhileWaiting = c.TimeoutMs;
            throw Exception(QStringLiteral("přerušeno"));
        }
    };

    QString message;
    RunInPc(false, [&] {
        try {
            c.SetIPByMAC(kMac, kNewIP, QStringLiteral("0.0.0.0"), 0);
        } catch (const Exception& e) {
            message = e.Message();
        }
    });
    EXPECT_EQ(message, QStringLiteral("přerušeno"));
    EXPECT_NE(entryWhileWaiting.find("lladdr 02:00:00:aa:bb:cc PERMANENT"), std::string::npos) << entryWhileWaiting;
    EXPECT_EQ(timeoutWhileWaiting, 1000);
    EXPECT_EQ(c.TimeoutMs, 300);
    EXPECT_EQ(Neighbour(*bench).find("PERMANENT"), std::string::npos);

    // Not found, the operator went on: the only question.
    ASSERT_EQ(c.Questions.size(), 1u);
    EXPECT_EQ(c.Questions[0].Caption, QStringLiteral("Zařízení nebylo nalezeno"));
    EXPECT_EQ(c.Questions[0].Flags, 0x134u);
    EXPECT_TRUE(c.Questions[0].Text.startsWith(QStringLiteral("Zařízení (02-00-00-aa-bb-cc) nebylo nalezeno!\r\n")));
    EXPECT_TRUE(c.Questions[0].Text.endsWith(QStringLiteral("Chcete přesto zkusit přiřadit IP adresu?")));
    EXPECT_FALSE(c.Answered);
    EXPECT_EQ(c.Captions.mid(0, 7),
              (QStringList{QStringLiteral("Hledání zařízení 02-00-00-aa-bb-cc..."),
                           QStringLiteral("Vyhledávám zařízení 02-00-00-aa-bb-cc..."),
                           QStringLiteral("Kontrola IP adresy 10.213.0.60..."),
                           QStringLiteral("Předávám informace ..."),
                           QStringLiteral("Nastavení IP adresy na 10.213.0.60..."),
                           QStringLiteral("Nastavení IP adresy na 10.213.0.60..."),
                           QStringLiteral("Nastavení IP adresy na 10.213.0.60...")}));
}

TEST_F(StaticARPWay, WithoutNetworkAdministrationTheSystemsRefusalIsReported)
{
    TRecordingConversations c(0, nullptr);
    c.TimeoutMs = 300;
    QString message;
    bool result = true;
    RunInPc(true, [&] {
        try {
            result = c.SetIPByMAC(kMac, kNewIP, QStringLiteral("0.0.0.0"), 0);
        } catch (const EARPException& e) {
            message = e.Message();
        }
    });
    // The operator learnt why, and what to do, before saying Yes.
    ASSERT_EQ(c.Questions.size(), 1u);
    EXPECT_TRUE(c.Questions[0].Text.endsWith(
        QStringLiteral("Chcete přesto zkusit přiřadit IP adresu?\r\n\r\nProgram nemá oprávnění CAP_NET_ADMIN a "
                       "CAP_NET_RAW, bez nichž tento způsob přiřazení IP adresy selže; správce mu je udělí "
                       "příkazem setcap cap_net_admin,cap_net_raw+ep ") +
        QCoreApplication::applicationFilePath() + QStringLiteral(".")))
        << c.Questions[0].Text.toStdString();
    // The address services name the refused operation and the system's reason.
    EXPECT_TRUE(message.contains(QStringLiteral("ARPEntry:\r\n"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("(#"))) << message.toStdString();
    EXPECT_EQ(Neighbour(*bench).find("PERMANENT"), std::string::npos);
    EXPECT_EQ(c.TimeoutMs, 300);
}
