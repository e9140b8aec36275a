#pragma once

#include <QString>

#include <functional>

class QWidget;

// Message boxes keyed by the classic flag values (button set, icon, default
// button), answering with the classic button codes, so callers can keep the
// flag numbers they were designed with.
namespace platform {

enum MessageBoxButton : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDABORT = 3,
    IDRETRY = 4,
    IDIGNORE = 5,
    IDYES = 6,
    IDNO = 7,
};

enum MessageBoxFlag : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_ICONHAND = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONASTERISK = 0x40,
    MB_DEFBUTTON2 = 0x100,
    MB_DEFBUTTON3 = 0x200,
};

// Shows a modal box owned by `owner` (may be null) and returns the code of
// the button that closed it. Closing with Escape or the title bar gives the
// cancelling button of the set (IDCANCEL, IDNO or IDOK).
// The text shows as plain text. Commands marked in it (CommandLine in
// platform/CommandText.h) show below the whole text, above the buttons,
// each on a line of its own that can be selected and copied; the box grows
// wider for them within the screen. A box without commands is Qt's own box.
int MessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags);

// Tests answer message boxes programmatically: while a hook is set, it is
// called in place of showing a box and its result is returned. The hook gets
// the text as given, commands and marks included.
using MessageBoxHook =
    std::function<int(QWidget* owner, const QString& text, const QString& caption, unsigned flags)>;
void SetMessageBoxHook(MessageBoxHook hook);

} // namespace platform
