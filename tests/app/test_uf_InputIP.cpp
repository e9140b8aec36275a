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
        {"", -1, u"192168", "192.168.", -1}, {"", -1, u"1921681.1", "192.168.1.1", -1}, {"", -1, u"256", "25.6", -1},
        {"", -1, u"300", "30.0", -1},        {"", -1, u"25", "25", -1},                 {"", -1, u"26", "26.", -1},
        {"", -1, u"255", "255.", -1},        {"", -1, u"1,2", "1.2", -1},               {"", -1, u"1a -Z2", "12", -1},
        {"", -1, u"192.,5", "192.5", -1},
        // No fourth dot, no two in a row.
        {"", -1, u"1.2.3.4.", "1.2.3.4", -1}, {"", -1, u"1..2", "1.2", -1}, {"1.2.3.4", 1, u".", "1.2.3.4", 1},
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

TEST(TfInputIP, ModesSetThePortControlsOKReturnsWhatTheyHoldEscapeAndCloseNothing)
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
        TfInputIP::ModalHook = [&](TfInputIP& d) {
            EXPECT_EQ(QStringList({d.windowTitle(), d.lblIP->text(), d.chPort->text(), d.lblPort->text(),
                                   d.chPort->toolTip()}),
                      QStringList({"Titulek", "Výzva", "Můj port", "Můj port", "Nápověda"}));
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
        };
        EXPECT_TRUE(TfInputIP::Execute(ip, port, row.mode, QStringLiteral("Titulek"), QStringLiteral("Výzva"),
                                       QStringLiteral("Můj port"), &flag, QStringLiteral("Nápověda")));
        EXPECT_EQ(ip, QStringLiteral("10.0.0.70"));
        EXPECT_EQ(port, row.ticked ? 40000 : 30718);
        EXPECT_EQ(flag, row.ticked);

        // Escape or the close box, after a click on the box: nothing back.
        TfInputIP::ModalHook = [&](TfInputIP& d) {
            d.show();
            QTest::keyClicks(d.txtIP, QStringLiteral("1"));
            d.chPort->click();
            EXPECT_EQ(d.txtPort->isHidden(), row.ticked);
            d.txtPort->setValue(1);
            if (row.mode % 2)
                QTest::keyClick(d.txtIP, Qt::Key_Escape);
            else
                d.close();
            EXPECT_TRUE(d.isHidden());
        };
        EXPECT_FALSE(TfInputIP::Execute(ip, port, row.mode, {}, {}, {}, &flag, {}));
        EXPECT_EQ(ip, QStringLiteral("10.0.0.70"));
        EXPECT_EQ(port, row.ticked ? 40000 : 30718);
    }
    TfInputIP::ModalHook = nullptr;
}
