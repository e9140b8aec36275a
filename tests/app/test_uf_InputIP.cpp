#include "app/uf_InputIP.h"

#include "support/QStringPrint.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Types as the keyboard would; besides characters: '\b' backspace,
// '<' left arrow, '^' Home, '~' Delete, '@' Ctrl+A.
void Type(QLineEdit* edit, const QString& keys)
{
    for (QChar c : keys) {
        switch (c.unicode()) {
        case u'\b': QTest::keyClick(edit, Qt::Key_Backspace); break;
        case u'<': QTest::keyClick(edit, Qt::Key_Left); break;
        case u'^': QTest::keyClick(edit, Qt::Key_Home); break;
        case u'~': QTest::keyClick(edit, Qt::Key_Delete); break;
        case u'@': QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier); break;
        default: QTest::keyClicks(edit, QString(c)); break;
        }
    }
}

// On the box itself: the caption may be far shorter than the control.
void ClickBox(QCheckBox* box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

struct ModalHookGuard {
    explicit ModalHookGuard(std::function<void(TfInputIP&)> hook) { TfInputIP::ModalHook = std::move(hook); }
    ~ModalHookGuard() { TfInputIP::ModalHook = nullptr; }
};

bool RunPort(QString& ip, uint16_t& port, bool& flag)
{
    return TfInputIP::ExecutePort(ip, port, flag, QStringLiteral("T"), QStringLiteral("P"), QStringLiteral("Port"), {});
}

} // namespace

TEST(TfInputIP, KeyFilterBuildsDottedAddressesFromTypedCharacters)
{
    struct Row {
        const char* start;
        int caret; // -1: at the end, also after typing
        const char16_t* keys;
        const char* text;
        int caretAfter;
    };
    const Row rows[] = {
        {"", -1, u"192168", "192.168.", -1}, {"", -1, u"1921681.1", "192.168.1.1", -1},
        {"", -1, u"256", "25.6", -1},        {"", -1, u"300", "30.0", -1},
        {"", -1, u"25", "25", -1},           {"", -1, u"26", "26.", -1},
        {"", -1, u"255", "255.", -1},        {"", -1, u"1,2", "1.2", -1},
        {"", -1, u"1a -Z2", "12", -1},       {"", -1, u"192.,5", "192.5", -1},
        // No fourth dot, no two in a row.
        {"", -1, u"1.2.3.4.", "1.2.3.4", -1}, {"", -1, u"1..2", "1.2", -1},
        {"1.2.3.4", 1, u".", "1.2.3.4", 1},
        // Last octet: 255 and 26 are typed, 2556 and 256 are not.
        {"", -1, u"1.2.3.2556", "1.2.3.255", -1}, {"", -1, u"1.2.3.26", "1.2.3.26", -1},
        {"", -1, u"1.2.3.256", "1.2.3.25", -1},   {"", -1, u"192168\b1", "192.168.1", -1},
        // Editing an earlier octet drops the dot left at the end.
        {"192.168.1.", 3, u"\b", "19.168.1", 2}, {"1.2.3.", 1, u"9", "19.2.3", 2},
        // Navigation, editing and shortcut keys reach the edit; typing over
        // a selection starts where it starts.
        {"", -1, u"12<3", "132", 2}, {"", -1, u"5^1", "15", 1}, {"", -1, u"12^~", "2", 0},
        {"192.168.1.254", -1, u"@10", "10", -1}, {"192.168.1.", -1, u"@7", "7", -1},
        // Pasted runs of digits far past any integer.
        {"12345678901234567890", -1, u"5", "12345678901234567890.5", -1},
        {"1.2.3.99999999999999999999", -1, u"1", "1.2.3.99999999999999999999", -1},
        {"0000000000000000000000000002", -1, u"5", "00000000000000000000000000025", -1},
    };
    TfInputIP dialog;
    dialog.show();
    for (const Row& row : rows) {
        SCOPED_TRACE(QString::fromUtf16(row.keys).toStdString() + " on \"" + row.start + "\"");
        dialog.txtIP->setText(QString::fromLatin1(row.start));
        dialog.txtIP->setCursorPosition(row.caret < 0 ? dialog.txtIP->text().size() : row.caret);
        Type(dialog.txtIP, QString::fromUtf16(row.keys));
        const QString expected = QString::fromLatin1(row.text);
        EXPECT_EQ(dialog.txtIP->text(), expected);
        EXPECT_EQ(dialog.txtIP->cursorPosition(), row.caretAfter < 0 ? expected.size() : row.caretAfter);
    }

}

TEST(TfInputIP, ModesSetThePortControlsAndOKReturnsWhatTheyHold)
{
    struct Row {
        int mode;
        bool portShown, boxShown, ticked, labelShown;
    };
    const Row rows[] = {
        {0, false, false, false, false}, {1, true, false, true, true},
        {2, true, true, true, false},    {3, false, true, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        QString ip = QStringLiteral("10.0.0.7");
        uint16_t port = 30718;
        bool flag = !row.ticked;
        ModalHookGuard hook([&](TfInputIP& d) {
            EXPECT_EQ(d.windowTitle(), QStringLiteral("Titulek"));
            EXPECT_EQ(d.lblIP->text(), QStringLiteral("Výzva"));
            EXPECT_EQ(d.chPort->text(), QStringLiteral("Můj port"));
            EXPECT_EQ(d.lblPort->text(), QStringLiteral("Můj port"));
            EXPECT_EQ(d.chPort->toolTip(), QStringLiteral("Nápověda"));
            EXPECT_EQ(d.txtPort->value(), 30718);
            EXPECT_EQ(!d.txtPort->isHidden(), row.portShown);
            EXPECT_EQ(!d.chPort->isHidden(), row.boxShown);
            EXPECT_EQ(d.chPort->isChecked(), row.ticked);
            EXPECT_EQ(!d.lblPort->isHidden(), row.labelShown);
            EXPECT_EQ(flag, row.ticked); // set before the dialog shows
            d.show();
            EXPECT_EQ(d.txtIP->selectedText(), QStringLiteral("10.0.0.7"));
            QTest::keyClick(d.txtIP, Qt::Key_End);
            QTest::keyClicks(d.txtIP, QStringLiteral("0"));
            d.txtPort->setValue(40000);
            QTest::keyClick(d.txtIP, Qt::Key_Return); // the default button
        });
        EXPECT_TRUE(TfInputIP::Execute(ip, port, row.mode, QStringLiteral("Titulek"), QStringLiteral("Výzva"),
                                       QStringLiteral("Můj port"), &flag, QStringLiteral("Nápověda")));
        EXPECT_EQ(ip, QStringLiteral("10.0.0.70"));
        EXPECT_EQ(port, row.ticked ? 40000 : 30718);
        EXPECT_EQ(flag, row.ticked);
    }

    // Ticking the box in mode 3 shows the port, which runs from 1.
    QString ip = QStringLiteral("10.0.0.7");
    uint16_t port = 30718;
    bool flag = false;
    ModalHookGuard tick([&](TfInputIP& d) {
        d.show();
        ClickBox(d.chPort);
        EXPECT_TRUE(d.txtPort->isVisible());
        d.txtPort->selectAll();
        QTest::keyClicks(d.txtPort, QStringLiteral("0"));
        d.txtPort->interpretText();
        EXPECT_NE(d.txtPort->value(), 0);
        d.txtPort->setValue(65535);
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    });
    EXPECT_TRUE(RunPort(ip, port, flag));
    EXPECT_EQ(port, 65535);
    EXPECT_TRUE(flag);
    // Mode 2 now; unticking there keeps the port that came in.
    ModalHookGuard untick([&](TfInputIP& d) {
        d.show();
        ClickBox(d.chPort);
        EXPECT_FALSE(d.txtPort->isVisible());
        d.txtPort->setValue(1234);
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    });
    EXPECT_TRUE(RunPort(ip, port, flag));
    EXPECT_EQ(port, 65535);
    EXPECT_FALSE(flag);
}

TEST(TfInputIP, CancelEscapeAndTheCloseBoxLeaveTheCallersValues)
{
    const std::function<void(TfInputIP&)> endings[] = {
        [](TfInputIP& d) { QTest::mouseClick(d.cmdCancel, Qt::LeftButton); },
        [](TfInputIP& d) { QTest::keyClick(d.txtIP, Qt::Key_Escape); },
        [](TfInputIP& d) { d.close(); },
    };
    for (const auto& end : endings) {
        QString ip = QStringLiteral("192.168.1.254");
        uint16_t port = 30718;
        bool flag = true;
        ModalHookGuard hook([&](TfInputIP& d) {
            d.show();
            QTest::keyClicks(d.txtIP, QStringLiteral("10.1.1.1"));
            ClickBox(d.chPort);
            d.txtPort->setValue(40000);
            end(d);
            EXPECT_TRUE(d.isHidden());
        });
        EXPECT_FALSE(RunPort(ip, port, flag));
        EXPECT_EQ(ip, QStringLiteral("192.168.1.254"));
        EXPECT_EQ(port, 30718);
        EXPECT_TRUE(flag);
    }
}
