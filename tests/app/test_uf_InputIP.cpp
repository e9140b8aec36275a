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

// Types a sequence into the edit as the keyboard would. Besides ordinary
// characters: '\b' backspace, '<' left arrow, '^' Home, '~' Delete.
void Type(QLineEdit* edit, const QString& keys)
{
    for (QChar c : keys) {
        switch (c.unicode()) {
        case u'\b': QTest::keyClick(edit, Qt::Key_Backspace); break;
        case u'<': QTest::keyClick(edit, Qt::Key_Left); break;
        case u'^': QTest::keyClick(edit, Qt::Key_Home); break;
        case u'~': QTest::keyClick(edit, Qt::Key_Delete); break;
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

} // namespace

TEST(TfInputIP, KeyFilterBuildsDottedAddressesFromTypedCharacters)
{
    struct Row {
        const char* start;
        int caret; // -1: at the end
        const char16_t* keys;
        const char* text;
        int caretAfter; // -1: at the end
    };
    const Row rows[] = {
        // Both dots inserted by the filter, then the last two octets.
        {"", -1, u"192168", "192.168.", -1},
        {"", -1, u"1921681.1", "192.168.1.1", -1},
        // 256 cannot be an octet: the 6 opens the next one.
        {"", -1, u"256", "25.6", -1},
        {"", -1, u"300", "30.0", -1},
        {"", -1, u"1,2", "1.2", -1},
        {"", -1, u"1a -Z2", "12", -1},
        // A fourth dot, and two dots in a row, are refused.
        {"", -1, u"1.2.3.4.", "1.2.3.4", -1},
        {"", -1, u"1..2", "1.2", -1},
        {"", -1, u"192.,5", "192.5", -1},
        {"1.2.3.4", 1, u".", "1.2.3.4", 1},
        // Last octet: 255 and 26 are typed, a digit making 2556 is not.
        {"", -1, u"1.2.3.2556", "1.2.3.255", -1},
        {"", -1, u"1.2.3.26", "1.2.3.26", -1},
        // Backspace, then the octet overflows into the next one.
        {"", -1, u"192168\b1", "192.168.1", -1},
        // Editing an earlier octet first drops the dot left at the end.
        {"192.168.1.", 3, u"\b", "19.168.1", 2},
        {"1.2.3.", 1, u"9", "19.2.3", 2},
        // Navigation and editing keys reach the edit.
        {"", -1, u"12<3", "132", 2},
        {"", -1, u"5^1", "15", 1},
        {"", -1, u"12^~", "2", 0},
        // A pasted run of digits far past any integer the filter can hold.
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
        EXPECT_FALSE(dialog.txtIP->hasSelectedText());
    }
}

TEST(TfInputIP, OpensWithTheWholeAddressSelectedSoTypingReplacesIt)
{
    QString ip = QStringLiteral("192.168.1.254");
    uint16_t port = 30718;
    QString seen;
    ModalHookGuard hook([&](TfInputIP& d) {
        d.show();
        EXPECT_EQ(d.txtIP->selectedText(), QStringLiteral("192.168.1.254"));
        // The first digit goes where the selection starts, not behind it.
        QTest::keyClicks(d.txtIP, QStringLiteral("10"));
        seen = d.txtIP->text();
        QTest::keyClicks(d.txtIP, QStringLiteral("01"));
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    });
    EXPECT_TRUE(TfInputIP::Execute(ip, port, 0, QStringLiteral("Hledat"), QStringLiteral("Zadejte IP"), QStringLiteral("Port")));
    EXPECT_EQ(seen, QStringLiteral("10"));
    EXPECT_EQ(ip, QStringLiteral("100.1"));
    EXPECT_EQ(port, 30718);
}

TEST(TfInputIP, ModesSetThePortControlsAndOKReturnsWhatTheyHold)
{
    struct Row {
        int mode;
        bool portShown, boxShown, ticked, labelShown;
    };
    const Row rows[] = {
        {0, false, false, false, false},
        {1, true, false, true, true},
        {2, true, true, true, false},
        {3, false, true, false, false},
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
            EXPECT_EQ(d.txtIP->text(), QStringLiteral("10.0.0.7"));
            EXPECT_EQ(d.txtPort->value(), 30718);
            EXPECT_EQ(!d.txtPort->isHidden(), row.portShown);
            EXPECT_EQ(!d.chPort->isHidden(), row.boxShown);
            EXPECT_EQ(d.chPort->isChecked(), row.ticked);
            EXPECT_EQ(!d.lblPort->isHidden(), row.labelShown);
            EXPECT_EQ(flag, row.ticked); // the flag follows the box before the dialog shows
            d.show();
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
}

TEST(TfInputIP, TickingThePortBoxShowsThePortWhichRunsFromOne)
{
    QString ip = QStringLiteral("10.0.0.7");
    uint16_t port = 30718;
    bool flag = false;
    ModalHookGuard hook([&](TfInputIP& d) {
        d.show();
        EXPECT_FALSE(d.txtPort->isVisible());
        ClickBox(d.chPort);
        EXPECT_TRUE(d.txtPort->isVisible());
        // Port 0 is no port.
        d.txtPort->selectAll();
        QTest::keyClicks(d.txtPort, QStringLiteral("0"));
        d.txtPort->interpretText();
        EXPECT_GE(d.txtPort->value(), 1);
        d.txtPort->setValue(65535);
        EXPECT_EQ(d.txtPort->value(), 65535);
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    });
    // An unticked port box means the standard port: mode 3.
    EXPECT_TRUE(TfInputIP::ExecutePort(ip, port, flag, QStringLiteral("T"), QStringLiteral("P"), QStringLiteral("Port"),
                                       QString()));
    EXPECT_EQ(port, 65535);
    EXPECT_TRUE(flag);

    // A ticked one opens mode 2; unticking it there keeps the port that came in.
    ModalHookGuard untick([&](TfInputIP& d) {
        d.show();
        EXPECT_TRUE(d.chPort->isVisible());
        EXPECT_TRUE(d.txtPort->isVisible());
        ClickBox(d.chPort);
        EXPECT_FALSE(d.txtPort->isVisible());
        d.txtPort->setValue(1234);
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    });
    EXPECT_TRUE(TfInputIP::ExecutePort(ip, port, flag, QStringLiteral("T"), QStringLiteral("P"), QStringLiteral("Port"),
                                       QString()));
    EXPECT_EQ(port, 65535);
    EXPECT_FALSE(flag);
}

TEST(TfInputIP, CancelEscapeAndTheCloseBoxLeaveTheCallersValues)
{
    const std::function<void(TfInputIP&)> endings[] = {
        [](TfInputIP& d) { QTest::mouseClick(d.cmdCancel, Qt::LeftButton); },
        [](TfInputIP& d) { QTest::keyClick(d.txtIP, Qt::Key_Escape); },
        [](TfInputIP& d) { d.close(); },
        [](TfInputIP&) {},
    };
    int ending = 0;
    for (const auto& end : endings) {
        SCOPED_TRACE(ending++);
        QString ip = QStringLiteral("192.168.1.254");
        uint16_t port = 30718;
        bool flag = true;
        bool closed = false;
        ModalHookGuard hook([&](TfInputIP& d) {
            d.show();
            QTest::keyClicks(d.txtIP, QStringLiteral("10.1.1.1"));
            ClickBox(d.chPort);
            d.txtPort->setValue(40000);
            end(d);
            closed = d.isHidden();
        });
        EXPECT_FALSE(TfInputIP::ExecutePort(ip, port, flag, QStringLiteral("T"), QStringLiteral("P"),
                                            QStringLiteral("Port"), QString()));
        EXPECT_EQ(ip, QStringLiteral("192.168.1.254"));
        EXPECT_EQ(port, 30718);
        EXPECT_TRUE(flag);
        if (ending <= 3) {
            EXPECT_TRUE(closed);
        }
    }
}

TEST(TfInputIP, OpensWithItsDesignSizeCentredOnTheActiveWindow)
{
    QWidget owner;
    owner.setGeometry(100, 80, 700, 500);
    owner.show();
    QApplication::setActiveWindow(&owner);
    if (QApplication::activeWindow() != &owner)
        GTEST_SKIP() << "the platform did not activate the window";
    QString ip = QStringLiteral("1.2.3.4");
    uint16_t port = 30718;
    ModalHookGuard hook([&](TfInputIP& d) {
        EXPECT_EQ(d.parentWidget(), &owner);
        d.show();
        EXPECT_EQ(d.size(), QSize(309, 111));
        const QPoint centre = d.geometry().center();
        const QPoint ownerCentre = owner.geometry().center();
        EXPECT_LE((centre - ownerCentre).manhattanLength(), 40);
        // Every control lies inside the client area.
        for (QWidget* w : {static_cast<QWidget*>(d.txtIP), static_cast<QWidget*>(d.txtPort),
                           static_cast<QWidget*>(d.cmdOK), static_cast<QWidget*>(d.cmdCancel)})
            EXPECT_TRUE(d.rect().contains(w->geometry())) << w->objectName().toStdString();
        d.cmdCancelClick();
    });
    EXPECT_FALSE(TfInputIP::Execute(ip, port, 2, QStringLiteral("T"), QStringLiteral("P"), QStringLiteral("Port")));
}
