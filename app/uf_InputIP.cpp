#include "app/uf_InputIP.h"

#include "lang/uLanguageForms.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>

std::function<void(TfInputIP&)> TfInputIP::ModalHook;

namespace {

// The number the current octet would become; anything past 999 reads as
// 1000, which is as much "more than 255" as a pasted run of digits needs.
int OctetWithDigit(const QString& Text, int Caret, QChar Digit)
{
    int start = Caret;
    while (start > 0 && Text[start - 1] >= u'0' && Text[start - 1] <= u'9')
        --start;
    if (start == Caret)
        return 0;
    int value = 0;
    for (int i = start; i < Caret; ++i)
        value = std::min(value * 10 + (Text[i].unicode() - u'0'), 1000);
    return std::min(value * 10 + (Digit.unicode() - u'0'), 1000);
}

// Where the typed character goes: a selection is replaced from its start.
int CaretOf(const QLineEdit* Edit)
{
    return Edit->hasSelectedText() ? Edit->selectionStart() : Edit->cursorPosition();
}

} // namespace

TfInputIP::TfInputIP(QWidget* Owner)
    : QDialog(Owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fInputIP"));
    setFixedSize(309, 111);

    lblIP = new QLabel(QStringLiteral("IP adresa"), this);
    lblIP->setObjectName(QStringLiteral("lblIP"));
    lblIP->setTextFormat(Qt::PlainText);
    lblIP->setGeometry(8, 6, 293, 17);
    txtIP = new QLineEdit(QStringLiteral("192.168.1.254"), this);
    txtIP->setObjectName(QStringLiteral("txtIP"));
    txtIP->setGeometry(8, 24, 293, 24);
    // Composed input would reach the edit past the key filter.
    txtIP->setAttribute(Qt::WA_InputMethodEnabled, false);
    txtIP->installEventFilter(this);
    chPort = new QCheckBox(QStringLiteral("Nestandardní port"), this);
    chPort->setObjectName(QStringLiteral("chPort"));
    chPort->setToolTip(QStringLiteral("Nestandardní port - oužijte v případě nastavování přes směrovač"));
    chPort->setGeometry(8, 52, 180, 24);
    lblPort = new QLabel(QStringLiteral("Port"), this);
    lblPort->setObjectName(QStringLiteral("lblPort"));
    lblPort->setTextFormat(Qt::PlainText);
    lblPort->setGeometry(8, 55, 180, 17);
    lblPort->hide();
    txtPort = new QSpinBox(this);
    txtPort->setObjectName(QStringLiteral("txtPort"));
    // Port 0 is no port: a search sent there could only fail.
    txtPort->setRange(1, 65535);
    txtPort->setGeometry(200, 52, 101, 24);
    txtPort->hide();
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setGeometry(145, 81, 75, 25);
    cmdCancel = new QPushButton(QStringLiteral("Zrušit"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(226, 81, 75, 25);
    setTabOrder(txtIP, chPort);
    setTabOrder(chPort, txtPort);
    setTabOrder(txtPort, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOKClick(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancelClick(); });
    connect(chPort, &QCheckBox::clicked, this, [this] { chPortClick(); });
    TranslateNewWindow(this);
}

void TfInputIP::cmdOKClick()
{
    OK = true;
    accept();
}

void TfInputIP::cmdCancelClick()
{
    OK = false;
    QDialog::reject();
}

void TfInputIP::reject()
{
    cmdCancelClick();
}

void TfInputIP::chPortClick()
{
    txtPort->setVisible(chPort->isChecked());
}

void TfInputIP::FormShow()
{
    txtIP->setFocus();
    txtIP->selectAll();
}

void TfInputIP::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    FormShow();
}

void TfInputIP::InsertText(QLineEdit* Edit, const QString& Text)
{
    Edit->insert(Text);
    Edit->deselect();
}

void TfInputIP::DeleteText(QLineEdit* Edit, int Position, int Count)
{
    QString text = Edit->text();
    if (Position < 0 || Position >= text.size() || Count <= 0)
        return;
    Count = std::min(Count, int(text.size()) - Position);
    // Positions behind the removed characters move back with the text.
    const auto moved = [&](int p) { return p <= Position ? p : std::max(Position, p - Count); };
    const bool selected = Edit->hasSelectedText();
    const int selStart = moved(Edit->selectionStart());
    const int selEnd = moved(Edit->selectionEnd());
    const int caret = moved(Edit->cursorPosition());
    text.remove(Position, Count);
    Edit->setText(text);
    if (selected && selEnd > selStart) {
        // Keep the caret at the end it was at.
        if (caret == selStart)
            Edit->setSelection(selEnd, selStart - selEnd);
        else
            Edit->setSelection(selStart, selEnd - selStart);
    } else {
        Edit->setCursorPosition(caret);
    }
}

void TfInputIP::txtIPKeyPress(QChar& Key)
{
    if (Key == u',')
        Key = u'.';
    const bool digit = Key >= u'0' && Key <= u'9';
    if (!digit && Key != u'.' && Key != u'\b') {
        Key = QChar();
        return;
    }

    const QString text = txtIP->text();
    int caret = CaretOf(txtIP);
    int dots = int(text.count(u'.'));
    if (dots == 3 && text.endsWith(u'.') && caret != text.size()) {
        // A dot left at the end would keep the octet being edited from
        // moving on to the next one.
        DeleteText(txtIP, int(text.size()) - 1, 1);
        dots = 2;
    } else if (dots >= 3 && Key == u'.') {
        Key = QChar();
        return;
    }
    const QString now = txtIP->text();
    caret = CaretOf(txtIP);

    if (digit) {
        const int n = OctetWithDigit(now, caret, Key);
        if (n > 25) {
            if (dots < 3) {
                // The octet is complete, or the digit opens the next one.
                InsertText(txtIP, n <= 255 ? QString(Key) + u'.' : QString(u'.') + Key);
                Key = QChar();
            } else if (n > 255) {
                Key = QChar();
            }
        }
        return;
    }
    if (Key == u'.' && caret > 0 && now[caret - 1] == u'.')
        Key = QChar();
}

bool TfInputIP::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched != txtIP || Event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(Watched, Event);
    auto* key = static_cast<QKeyEvent*>(Event);
    // Shortcuts (copy, paste, undo, ...) and keys that type nothing
    // (arrows, Home, Delete, Enter, Escape, Tab) are the edit's own.
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString typed = key->text();
    const bool backspace = key->key() == Qt::Key_Backspace;
    if (!backspace && (typed.size() != 1 || !typed[0].isPrint()))
        return false;
    QChar ch = backspace ? QChar(u'\b') : typed[0];
    const QChar original = ch;
    txtIPKeyPress(ch);
    if (ch.isNull())
        return true;
    if (ch != original) {
        InsertText(txtIP, QString(ch));
        return true;
    }
    return false;
}

bool TfInputIP::Execute(QString& IP, uint16_t& Port, int Mode, const QString& Title, const QString& Prompt,
                        const QString& PortCaption, bool* PortFlag, const QString& Hint)
{
    // Parented to the active window so that it opens centred on it.
    TfInputIP dialog(QApplication::activeWindow());
    dialog.setWindowTitle(Title);
    dialog.lblIP->setText(Prompt);
    dialog.lblPort->setText(PortCaption);
    dialog.chPort->setText(PortCaption);
    dialog.chPort->setToolTip(Hint);
    dialog.txtIP->setText(IP);
    dialog.txtPort->setValue(Port);

    struct Look {
        bool boxShown, ticked, labelShown;
    };
    static constexpr Look looks[4] = {
        {false, false, false},
        {false, true, true},
        {true, true, false},
        {true, false, false},
    };
    if (Mode >= 0 && Mode < 4) {
        const Look& look = looks[Mode];
        dialog.chPort->setChecked(look.ticked);
        // Ticking from here fires no click; the port edit follows the box
        // only through its handler.
        dialog.chPortClick();
        dialog.chPort->setVisible(look.boxShown);
        dialog.lblPort->setVisible(look.labelShown);
    }
    if (PortFlag)
        *PortFlag = dialog.chPort->isChecked();

    dialog.OK = false;
    if (ModalHook)
        ModalHook(dialog);
    else
        dialog.exec();
    if (!dialog.OK)
        return false;

    IP = dialog.txtIP->text();
    if (dialog.chPort->isChecked()) {
        dialog.txtPort->interpretText();
        Port = uint16_t(dialog.txtPort->value());
    }
    if (PortFlag)
        *PortFlag = dialog.chPort->isChecked();
    return true;
}

bool TfInputIP::ExecutePort(QString& IP, uint16_t& Port, bool& PortFlag, const QString& Title, const QString& Prompt,
                            const QString& PortCaption, const QString& Hint)
{
    return Execute(IP, Port, PortFlag ? 2 : 3, Title, Prompt, PortCaption, &PortFlag, Hint);
}
