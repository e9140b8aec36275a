// The wizard's pages and keys, driven as the operator drives them. Every
// search is a real broadcast, so each test runs in a bench of its own.
#include "WizardTestKit.h"

namespace {

const QString kBadMac = QStringLiteral("Toto není platná MAC adresa.\r\nZkontrolujte prosím.");
const QString kBadValues = QStringLiteral("Hodnoty nejsou zadány zprávně. Zkontrolujte je prosím");

} // namespace

TEST_F(WizardTest, MacPageTakesOnlySixHexBytesAndEscapeAndTheCloseBoxEndItDifferently)
{
    Start();
    std::array<uint8_t, 6> mac{};
    const int32_t cancelled = Run(
        [&](TfSetIPWiz& w) {
            EXPECT_EQ(w.objectName(), "fSetIPWiz");
            EXPECT_EQ(w.size(), QSize(437, 244));
            EXPECT_EQ(w.Pages->geometry(), QRect(184, 6, 249, 233));
            EXPECT_FALSE(w.img->pixmap().isNull());
            EXPECT_EQ(Page(w), "pnlMAC");
            EXPECT_EQ(w.txtMAC->text(), QString());
            EXPECT_TRUE(w.cmdMAC_Next->isDefault());

            const struct {
                const char* text;
                bool enter;
            } bad[] = {{"00-12-34-56-78", false}, {"00-1G-34-56-78-9A", true}, {"00:12:34:56:78:9a", false},
                       {"00-12-34-56-78-9a-bc", true}, {"", false}};
            for (const auto& b : bad) {
                Boxes.clear();
                Type(w.txtMAC, QString::fromLatin1(b.text));
                if (b.enter)
                    Key(w, Qt::Key_Return);
                else
                    Click(w.cmdMAC_Next);
                ASSERT_EQ(Boxes.size(), 1u) << b.text;
                EXPECT_EQ(Boxes[0].Text, kBadMac) << b.text;
                EXPECT_EQ(Boxes[0].Caption, QStringLiteral("Upozornění"));
                EXPECT_EQ(Boxes[0].Flags, 0x30u);
                EXPECT_EQ(Page(w), "pnlMAC");
                EXPECT_TRUE(w.isVisible());
                EXPECT_TRUE(w.Sender.isNull());
            }
            EXPECT_EQ(w.txtMAC->text(), QString());
            Key(w, Qt::Key_Escape);
            EXPECT_FALSE(w.isVisible());
        },
        mac);
    EXPECT_EQ(cancelled, 2);
    EXPECT_EQ(Received(), 0);
    // Only a set hands anything back.
    EXPECT_EQ(mac, (std::array<uint8_t, 6>{}));
    EXPECT_EQ(IP, 0x01010101u);

    mac = {0x00, 0x12, 0x34, 0x56, 0x78, 0x9a};
    const int32_t closed = Run(
        [&](TfSetIPWiz& w) {
            EXPECT_EQ(w.txtMAC->text(), QStringLiteral("00-12-34-56-78-9a"));
            w.close();
            EXPECT_FALSE(w.isVisible());
        },
        mac);
    EXPECT_EQ(closed, 8);
    EXPECT_EQ(mac, (std::array<uint8_t, 6>{0x00, 0x12, 0x34, 0x56, 0x78, 0x9a}));
}

TEST_F(WizardTest, NotFoundOffersAbortRetryIgnoreAndTheIPPageChecksStrictly)
{
    Start({"--silent"});
    std::array<uint8_t, 6> mac{0x02, 0x76, 0x79, 0x6e, 0x00, 0x02};
    const int32_t result = Run(
        [&](TfSetIPWiz& w) {
            const QString notFound = QStringLiteral(
                "Zařízení nebylo nalezeno!\r\nZkontrolujte, zda je správně zadána MAC adresa a zařízení je správně "
                "zapojeno.Poté pokus opakujte.");
            int answer = platform::IDABORT;
            Answer = [&](const TQuestion&) { return answer; };
            // While the box is up the road runs: the wizard stays.
            OnBox = [&](const TQuestion&) {
                w.close();
                QTest::keyClick(&w, Qt::Key_Escape);
                EXPECT_TRUE(w.isVisible());
            };
            Click(w.cmdMAC_Next);
            ASSERT_EQ(Boxes.size(), 1u);
            EXPECT_EQ(Boxes[0].Text, notFound);
            EXPECT_EQ(Boxes[0].Caption, QStringLiteral("Varování"));
            EXPECT_EQ(Boxes[0].Flags, 0x32u);
            EXPECT_EQ(Page(w), "pnlMAC");
            EXPECT_EQ(Received(), 1);

            // Retry searches again with the same text; Ignore goes on.
            Answer = [&](const TQuestion&) {
                return Boxes.size() == 2 ? int(platform::IDRETRY) : int(platform::IDIGNORE);
            };
            Key(w, Qt::Key_Return);
            EXPECT_EQ(Boxes.size(), 3u);
            EXPECT_EQ(Received(), 3);
            EXPECT_TRUE(w.Sender.isNull());
            OnBox = nullptr;

            ASSERT_EQ(Page(w), "pnlIP");
            EXPECT_TRUE(w.cmdSetIP->isDefault());
            EXPECT_FALSE(w.pnlMAC->isEnabled());
            EXPECT_EQ(w.IPSet->txtIP->text(), QString());
            EXPECT_EQ(w.IPSet->txtMask->text(), QStringLiteral("0.0.0.0"));
            EXPECT_EQ(w.IPSet->txtGate->text(), QStringLiteral("0.0.0.0"));
            EXPECT_FALSE(w.IPSet->chAutoMask->isChecked());

            // Texts the lenient routines would take for other addresses.
            const struct {
                const char *ip, *mask, *gateway;
            } refused[] = {{"", "", ""},
                           {"10.213.0", "", ""},
                           {"010.213.0.5", "", ""},
                           {"10.213.0.5 ", "", ""},
                           {"0x0a.213.0.5", "", ""},
                           {"10.213.0.5", "255.0.255.0", ""},
                           {"10.213.0.5", "255.255.255", ""},
                           {"10.213.0.5", "", "10.213.1"}};
            for (const auto& r : refused) {
                Boxes.clear();
                Type(w.IPSet->txtIP, QString::fromLatin1(r.ip));
                w.IPSet->SetAutoMask(false);
                Type(w.IPSet->txtMask, QString::fromLatin1(r.mask));
                Type(w.IPSet->txtGate, QString::fromLatin1(r.gateway));
                Key(w, Qt::Key_Return);
                ASSERT_EQ(Boxes.size(), 1u) << r.ip << " " << r.mask << " " << r.gateway;
                EXPECT_EQ(Boxes[0].Text, kBadValues);
                EXPECT_EQ(Boxes[0].Caption, QStringLiteral("Upozornění"));
                EXPECT_EQ(Boxes[0].Flags, 0x30u);
                EXPECT_EQ(Page(w), "pnlIP");
            }
            EXPECT_EQ(Received(), 3);

            // Escape on the IP page goes back, not away.
            Key(w, Qt::Key_Escape);
            EXPECT_TRUE(w.isVisible());
            EXPECT_EQ(Page(w), "pnlMAC");
            EXPECT_TRUE(w.cmdMAC_Next->isDefault());
            EXPECT_EQ(w.txtMAC->text(), kDevMac);
            Click(w.cmdMAC_Cancel);
        },
        mac);
    EXPECT_EQ(result, 2);
}
