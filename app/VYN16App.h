#pragma once

#include <QApplication>
#include <QString>

#include <exception>

struct xcb_connection_t;

// The application object of the program and what start-up needs around it.

// True when a window system can be reached: DISPLAY or WAYLAND_DISPLAY is
// set, or QT_QPA_PLATFORM names a platform explicitly.
bool HasGraphicalDisplay();
// The one sentence shown instead of starting without a display.
QString NoDisplayText();
// Qt's X platform aborts when the display in DISPLAY does not answer, so
// the program tries it first. The connection of the try stays open while the
// object lives, until Qt has its own: an X server whose last client leaves
// resets itself (xvfb-run's does), and Qt's connection would wait for that.
class TDisplayProbe
{
public:
    TDisplayProbe();
    ~TDisplayProbe();
    TDisplayProbe(const TDisplayProbe&) = delete;
    TDisplayProbe& operator=(const TDisplayProbe&) = delete;

    // Empty when Qt will not use X or the display answers; otherwise the one
    // sentence that says what is wrong.
    const QString& Problem() const { return FProblem; }

private:
    xcb_connection_t* FConnection = nullptr;
    QString FProblem;
};

// False on Qt's offscreen and minimal platforms, where nobody could see a
// window or answer a message box.
bool PlatformShowsWindows();

// The application's error display: the text goes to stderr and, when
// ShowBox is set, into a message box with the error icon under the
// application's title.
void ReportError(const QString& Text, bool ShowBox);
// ReportError with a box wherever the platform shows windows.
void ShowErrorText(const QString& Text);
// The text an exception shows the operator; a platform failure is worded in
// the operator's language.
QString ExceptionText(const std::exception& E);
// Shows ExceptionText.
void ShowException(const std::exception& E);
// A message by its key, with the built-in Czech text.
QString Lang(const char* Key, const char* Default);

// Runs a handler called from Qt code (a signal, a frame's click): what it
// raises goes to the error display instead of unwinding through Qt.
template <class F>
void Guarded(F&& Handler)
{
    try {
        Handler();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

class EPlatformError;
// A platform failure worded through the language object, keeping the
// system's own detail (path, reason, position) as it came.
QString PlatformErrorText(const EPlatformError& E);

// Shows the text of an exception that leaves an event handler instead of
// letting it tear the program down.
class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// Creates the main window and runs the window loop until it closes. A main
// window that cannot be created ends the run with its text shown and
// exit code 1.
int RunVYN();
