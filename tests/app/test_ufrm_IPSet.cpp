#include "app/ufrm_IPSet.h"

#include "support/QStringPrint.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t Addr(unsigned char a, unsigned char b, unsigned char c, unsigned char d)
{
    const unsigned char bytes[4] = {a, b, c, d};
    uint32_t v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

void Retype(QLineEdit* edit, const char* text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::fromLatin1(text));
}

void ClickBox(QCheckBox* box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

QWidget* NextTabStop(QWidget* w)
{
    do
        w = w->nextInFocusChain();
    while (!(w->focusPolicy() & Qt::TabFocus));
    return w;
}

} // namespace

TEST(Tfrm_IPSet, StartsTickedWithTheMaskStillEditableAndSetValuesDecidesTheAutomaticMask)
{
    Tfrm_IPSet frame;
    EXPECT_EQ(frame.size(), QSize(248, 132));
    EXPECT_EQ(QStringList({frame.Label1->text(), frame.Label2->text(), frame.chAutoMask->text(), frame.Label3->text()}),
              QStringList({"IP adresa", "Maska podsítě", "automaticky", "Výchozí brána"}));
    EXPECT_EQ(frame.txtIP->text(), QString());
    EXPECT_TRUE(frame.GetAutoMask());
    EXPECT_TRUE(frame.txtMask->isEnabled());
    EXPECT_EQ(frame.txtMask->text(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(frame.txtGate->text(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(NextTabStop(frame.txtIP), frame.chAutoMask);
    EXPECT_EQ(NextTabStop(frame.chAutoMask), frame.txtMask);
    EXPECT_EQ(NextTabStop(frame.txtMask), frame.txtGate);

    struct Row {
        const char *ip, *mask;
        bool autoMask;
        const char* shown;
    };
    const Row rows[] = {
        {"172.16.0.1", "", true, "255.255.0.0"},
        {"10.1.2.3", "abc", true, "255.0.0.0"},
        {"192.168.1.10", "255.255.255.255", true, "255.255.255.0"},
        {"224.0.0.1", "", true, "0.0.0.0"},
        {"192.168.1.10", "255.255.0.0", false, "255.255.0.0"},
        {"10.1.2.3", "255.255.255.252", false, "255.255.255.252"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.ip) + " / " + row.mask);
        frame.SetValues(QString::fromLatin1(row.ip), QString::fromLatin1(row.mask), QStringLiteral("192.168.1.1"));
        EXPECT_EQ(frame.chAutoMask->isChecked(), row.autoMask);
        EXPECT_EQ(frame.txtMask->isEnabled(), !row.autoMask);
        EXPECT_EQ(frame.txtMask->text(), QString::fromLatin1(row.shown));
        EXPECT_EQ(frame.GetIPText(), QString::fromLatin1(row.ip));
        // An automatic mask reads as 0 although the edit shows one.
        EXPECT_EQ(frame.GetMask() == 0, row.autoMask);
    }
    EXPECT_EQ(frame.GetIP(), Addr(10, 1, 2, 3));
    EXPECT_EQ(frame.GetMask(), Addr(255, 255, 255, 252));
    EXPECT_EQ(frame.GetGateway(), Addr(192, 168, 1, 1));
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
    QWidget window;
    auto* frame = new Tfrm_IPSet(&window);
    auto* other = new QLineEdit(&window);
    other->move(0, 140);
    window.show();
    QApplication::setActiveWindow(&window);
    frame->SetValues(QStringLiteral("10.0.0.1"), QString(), QString());
    int i = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        Retype(frame->txtIP, row[0]);
        QTest::keyClick(frame->txtIP, (i++ % 2) ? Qt::Key_Enter : Qt::Key_Return); // keypad or main Enter
        EXPECT_EQ(frame->txtMask->text(), QString::fromLatin1(row[1]));
    }

    // Leaving the field: the focus moves on (as the window system reports it
    // when the platform gives no real focus).
    frame->txtIP->setFocus();
    Retype(frame->txtIP, "172.20.1.1");
    EXPECT_EQ(frame->txtMask->text(), QStringLiteral("0.0.0.0"));
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    if (QApplication::focusWidget() == frame->txtIP)
        other->setFocus();
    else
        QCoreApplication::sendEvent(frame->txtIP, &out);
    EXPECT_EQ(frame->txtMask->text(), QStringLiteral("255.255.0.0"));

    // The operator's click frees the mask; it then stays as typed.
    ClickBox(frame->chAutoMask);
    EXPECT_FALSE(frame->GetAutoMask());
    EXPECT_TRUE(frame->txtMask->isEnabled());
    Retype(frame->txtMask, "255.255.255.128");
    Retype(frame->txtIP, "10.9.9.9");
    QTest::keyClick(frame->txtIP, Qt::Key_Return);
    QCoreApplication::sendEvent(frame->txtIP, &out);
    EXPECT_EQ(frame->GetMask(), Addr(255, 255, 255, 128));
    // Ticking it again fills in the class mask at once.
    ClickBox(frame->chAutoMask);
    EXPECT_FALSE(frame->txtMask->isEnabled());
    EXPECT_EQ(frame->txtMask->text(), QStringLiteral("255.0.0.0"));
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
        // Short, zero-padded, hexadecimal and padded forms mean other addresses.
        {"192.168.1", c24, "", false},       {"10", nullptr, "", false},
        {"010.001.001.010", c24, "", false}, {"192.168.01.10", c24, "", false},
        {"0x0a.1.1.1", c24, "", false},      {"1.2.3.4 x", c24, "", false},
        {" 1.2.3.4", c24, "", false},        {"1.2.3.256", c24, "", false},
        {"1.2.3.4.", c24, "", false},
        // Masks: contiguous ones only, strictly written.
        {"192.168.1.10", "255.0.255.0", "", false},   {"192.168.1.10", "255.255.255.1", "", false},
        {"192.168.1.10", "0.255.255.255", "", false}, {"192.168.1.10", "255.255.255.128", "", true},
        {"192.168.1.10", "255.255.0", "", false},     {"192.168.1.10", "255.255.255.000", "", false},
        {"192.168.1.10", "abc", "", false},
        // Gateways as strict as the address.
        {"192.168.1.10", c24, "192.168.1", false}, {"192.168.1.10", c24, "192.168.001.1", false},
        {"192.168.1.10", c24, "brána", false},
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
