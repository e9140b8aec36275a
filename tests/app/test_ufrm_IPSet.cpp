#include "app/MyUtils.h"
#include "app/ufrm_IPSet.h"

#include "support/QStringPrint.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

TEST(Tfrm_IPSet, StartsTickedWithTheMaskStillEditableAndSetValuesDecidesTheAutomaticMask)
{
    Tfrm_IPSet frame;
    EXPECT_EQ(QStringList({frame.Label1->text(), frame.Label2->text(), frame.chAutoMask->text(), frame.Label3->text()}),
              QStringList({"IP adresa", "Maska podsítě", "automaticky", "Výchozí brána"}));
    EXPECT_EQ(QStringList({frame.txtIP->text(), frame.txtMask->text(), frame.txtGate->text()}),
              QStringList({"", "0.0.0.0", "0.0.0.0"}));
    EXPECT_TRUE(frame.GetAutoMask());
    EXPECT_TRUE(frame.txtMask->isEnabled());

    struct Row {
        const char *ip, *mask;
        bool autoMask;
        const char* shown;
    };
    const Row rows[] = {
        {"172.16.0.1", "", true, "255.255.0.0"}, {"10.1.2.3", "abc", true, "255.0.0.0"},
        {"192.168.1.10", "255.255.255.255", true, "255.255.255.0"},
        {"10.1.2.3", "255.255.255.252", false, "255.255.255.252"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.ip) + " / " + row.mask);
        frame.SetValues(QString::fromLatin1(row.ip), QString::fromLatin1(row.mask), QStringLiteral("192.168.1.1"));
        EXPECT_EQ(frame.chAutoMask->isChecked(), row.autoMask);
        EXPECT_EQ(frame.txtMask->isEnabled(), !row.autoMask);
        EXPECT_EQ(frame.txtMask->text(), QString::fromLatin1(row.shown));
        // An automatic mask reads as 0 although the edit shows one.
        EXPECT_EQ(frame.GetMask() == 0, row.autoMask);
    }
    EXPECT_EQ(frame.GetIP(), StrToIPAddr(QStringLiteral("10.1.2.3")));
    EXPECT_EQ(frame.GetMask(), StrToIPAddr(QStringLiteral("255.255.255.252")));
    EXPECT_EQ(frame.GetGateway(), StrToIPAddr(QStringLiteral("192.168.1.1")));
    frame.SetGatewayText(QString());
    EXPECT_EQ(frame.GetGateway(), 0u);
}

TEST(Tfrm_IPSet, EnterAndLeavingTheAddressRefreshTheAutomaticMaskByClass)
{
    const char* const rows[][2] = {
        {"1.2.3.4", "255.0.0.0"},      {"126.1.1.1", "255.0.0.0"},   {"127.0.0.1", "0.0.0.0"},
        {"128.0.0.1", "255.255.0.0"},  {"191.1.1.1", "255.255.0.0"}, {"192.0.0.1", "255.255.255.0"},
        {"223.1.1.1", "255.255.255.0"}, {"224.0.0.1", "0.0.0.0"},    {"0.1.2.3", "0.0.0.0"},
    };
    Tfrm_IPSet frame;
    frame.SetValues(QStringLiteral("10.0.0.1"), QString(), QString());
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    int i = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        frame.SetIPText(QString::fromLatin1(row[0]));
        // Main or keypad Enter, or leaving the field.
        const int way = i++ % 3;
        if (way == 2)
            QCoreApplication::sendEvent(frame.txtIP, &out);
        else
            QTest::keyClick(frame.txtIP, way ? Qt::Key_Enter : Qt::Key_Return);
        EXPECT_EQ(frame.txtMask->text(), QString::fromLatin1(row[1]));
    }

    // The operator's click frees the mask; it then stays as typed.
    frame.chAutoMask->click();
    EXPECT_TRUE(frame.txtMask->isEnabled());
    frame.SetMaskText(QStringLiteral("255.255.255.128"));
    frame.SetIPText(QStringLiteral("10.9.9.9"));
    QTest::keyClick(frame.txtIP, Qt::Key_Return);
    QCoreApplication::sendEvent(frame.txtIP, &out);
    EXPECT_EQ(frame.GetMask(), StrToIPAddr(QStringLiteral("255.255.255.128")));
    // Ticking it again fills in the class mask at once.
    frame.chAutoMask->click();
    EXPECT_FALSE(frame.txtMask->isEnabled());
    EXPECT_EQ(frame.txtMask->text(), QStringLiteral("255.0.0.0"));
}

TEST(Tfrm_IPSet, ValidateRefusesAddressesTheOperatorDidNotMeanAndMasksWithHoles)
{
    struct Row {
        const char *ip, *mask, *gate; // mask nullptr: automatic
        bool valid;
    };
    const char* const c24 = "255.255.255.0";
    const Row rows[] = {
        {"192.168.1.10", c24, "192.168.1.1", true}, {"192.168.1.10", nullptr, "192.168.1.1", true},
        {"192.168.1.10", "", "", true},             {"224.0.0.1", nullptr, "", true},
        {"", c24, "", false},                       {"0.0.0.0", c24, "", false},
        {"255.255.255.255", c24, "", false},
        // Short or zero-padded forms mean other addresses.
        {"192.168.1", c24, "", false}, {"010.001.001.010", c24, "", false},
        // Masks: contiguous ones only, strictly written.
        {"192.168.1.10", "255.0.255.0", "", false}, {"192.168.1.10", "255.255.255.128", "", true},
        {"192.168.1.10", "255.255.0", "", false},
        // Gateways as strict as the address.
        {"192.168.1.10", c24, "192.168.1", false}, {"192.168.1.10", c24, "192.168.001.1", false},
    };
    Tfrm_IPSet frame;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.ip) + " / " + (row.mask ? row.mask : "auto") + " / " + row.gate);
        frame.SetAutoMask(false);
        frame.SetIPText(QString::fromLatin1(row.ip));
        frame.SetGatewayText(QString::fromUtf8(row.gate));
        if (row.mask)
            frame.SetMaskText(QString::fromLatin1(row.mask));
        else
            frame.SetAutoMask(true);
        EXPECT_EQ(frame.Validate(), row.valid);
    }
}
