#include "app/VYN16App.h"

#include "app/MyUtils.h"
#include "app/uf_VYN.h"
#include "platform/Exception.h"
#include "platform/MessageBox.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdio>
#include <memory>

bool HasGraphicalDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

QString NoDisplayText()
{
    return QStringLiteral("VYN16 needs a graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                          "to try it without one, run: xvfb-run -a build/bin/VYN16");
}

QString UnreachableDisplayText()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const QByteArray display = qgetenv("DISPLAY");
    // Qt picks X only when no other platform is named; a Wayland session
    // without DISPLAY is left to Qt.
    if (display.isEmpty() || (!platform.isEmpty() && !platform.startsWith("xcb")))
        return QString();
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const int error = xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    if (error == 0)
        return QString();
    return QStringLiteral("VYN16 cannot open the display \"%1\" named in DISPLAY (no X server answers there, "
                          "or it refuses this user); check DISPLAY and XAUTHORITY, or run it without one: "
                          "xvfb-run -a build/bin/VYN16")
        .arg(QString::fromLocal8Bit(display));
}

bool PlatformShowsWindows()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void ReportError(const QString& Text, bool ShowBox)
{
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()), qUtf8Printable(Text));
    std::fflush(stderr);
    if (ShowBox)
        MsgBox(Text, platform::MB_ICONHAND);
}

void ShowErrorText(const QString& Text)
{
    ReportError(Text, PlatformShowsWindows());
}

void ShowException(const std::exception& E)
{
    if (const auto* e = dynamic_cast<const Exception*>(&E))
        ShowErrorText(e->Message());
    else
        ShowErrorText(QString::fromLocal8Bit(E.what()));
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e);
    }
    return false;
}

int RunVYN()
{
    std::unique_ptr<TfVYN> window;
    try {
        window = std::make_unique<TfVYN>();
    } catch (const std::exception& e) {
        ShowException(e);
        return 1;
    }
    window->show();
    return QApplication::exec();
}
