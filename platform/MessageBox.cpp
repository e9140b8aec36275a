#include "platform/MessageBox.h"

#include <QMessageBox>
#include <QPushButton>

#include <array>
#include <utility>
#include <vector>

namespace platform {

namespace {

MessageBoxHook& hook()
{
    static MessageBoxHook h;
    return h;
}

struct ButtonDef {
    QMessageBox::StandardButton qt;
    int code;
};

// Button sets by the low four bits of the flags, in the order the buttons
// stand (the order the default-button flags count in).
std::vector<ButtonDef> buttonsFor(unsigned flags)
{
    switch (flags & 0xF) {
    case MB_OKCANCEL:
        return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
        return {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL:
        return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default:
        return {{QMessageBox::Ok, IDOK}};
    }
}

QMessageBox::Icon iconFor(unsigned flags)
{
    switch (flags & 0xF0) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONASTERISK:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// What Escape or the close box answers: Cancel when the set has it, else No
// for Yes/No, else OK for a lone OK button. Abort/Retry/Ignore cannot be
// dismissed that way; Qt then keeps the box open, which matches.
int escapeCodeFor(const std::vector<ButtonDef>& buttons)
{
    for (const auto& b : buttons)
        if (b.code == IDCANCEL)
            return IDCANCEL;
    if (buttons.size() == 2 && buttons[1].code == IDNO)
        return IDNO;
    if (buttons.size() == 1)
        return IDOK;
    return 0;
}

} // namespace

void SetMessageBoxHook(MessageBoxHook h)
{
    hook() = std::move(h);
}

int MessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags)
{
    if (hook())
        return hook()(owner, text, caption, flags);

    const auto buttons = buttonsFor(flags);
    QMessageBox box(iconFor(flags), caption, text, QMessageBox::NoButton, owner);
    std::vector<std::pair<QAbstractButton*, int>> made;
    for (const auto& b : buttons)
        made.emplace_back(box.addButton(b.qt), b.code);

    const std::size_t defIndex = (flags & MB_DEFBUTTON3) ? 2 : (flags & MB_DEFBUTTON2) ? 1 : 0;
    if (defIndex < made.size())
        box.setDefaultButton(qobject_cast<QPushButton*>(made[defIndex].first));

    const int escCode = escapeCodeFor(buttons);
    for (const auto& [button, code] : made)
        if (code == escCode)
            box.setEscapeButton(button);

    box.exec();
    for (const auto& [button, code] : made)
        if (box.clickedButton() == button)
            return code;
    return escCode != 0 ? escCode : IDCANCEL;
}

} // namespace platform
