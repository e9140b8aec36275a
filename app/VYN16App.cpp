#include "app/VYN16App.h"

#include "app/MyUtils.h"
#include "app/uf_VYN.h"
#include "lang/uLanguage.h"
#include "platform/CommandText.h"
#include "platform/Exception.h"
#include "platform/MessageBox.h"

#include <QGuiApplication>
#include <QProxyStyle>

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

TDisplayProbe::TDisplayProbe()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const QByteArray display = qgetenv("DISPLAY");
    // Qt picks X only when no other platform is named; a Wayland session
    // without DISPLAY is left to Qt.
    if (display.isEmpty() || (!platform.isEmpty() && !platform.startsWith("xcb")))
        return;
    FConnection = xcb_connect(display.constData(), nullptr);
    if (xcb_connection_has_error(FConnection) == 0)
        return;
    FProblem = QStringLiteral("VYN16 cannot open the display \"%1\" named in DISPLAY (no X server answers there, "
                              "or it refuses this user); check DISPLAY and XAUTHORITY, or run it without one: "
                              "xvfb-run -a build/bin/VYN16")
                   .arg(QString::fromLocal8Bit(display));
}

TDisplayProbe::~TDisplayProbe()
{
    if (FConnection)
        xcb_disconnect(FConnection);
}

bool PlatformShowsWindows()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void ReportError(const QString& Text, bool ShowBox)
{
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                 qUtf8Printable(platform::PlainMessage(Text)));
    std::fflush(stderr);
    if (ShowBox)
        MsgBox(Text, platform::MB_ICONHAND);
}

void ShowErrorText(const QString& Text)
{
    ReportError(Text, PlatformShowsWindows());
}

QString PlatformErrorText(const EPlatformError& E)
{
    const QStringList& d = E.Detail();
    const auto at = [&d](qsizetype i) { return i < d.size() ? d[i] : QString(); };
    switch (E.Kind()) {
    case EPlatformError::SettingsNotWritable:
        return Language.GetText(QStringLiteral("NelzeUlozitNast"),
                                QStringLiteral("Nastavení nelze uložit do souboru %1 (%2)."))
            .arg(at(0), at(1));
    case EPlatformError::SettingsEntryRefused:
        return Language.GetText(QStringLiteral("PolozkuNelzeUlozit"),
                                QStringLiteral("Položku [%2] %3 nelze uložit do souboru s nastavením %1."))
            .arg(at(0), at(1), at(2));
    case EPlatformError::FileNotOpened:
        return Language.GetText(QStringLiteral("SouborNelzeOtevrit"), QStringLiteral("Soubor \"%1\" nelze otevřít. %2"))
            .arg(at(0), at(1));
    case EPlatformError::FileNotRead:
        return Language.GetText(QStringLiteral("SouborNelzePrecist"), QStringLiteral("Soubor \"%1\" nelze přečíst. %2"))
            .arg(at(0), at(1));
    case EPlatformError::FileTooLarge:
        return Language.GetText(QStringLiteral("SouborJePrilisVelky"), QStringLiteral("Soubor \"%1\" je příliš velký."))
            .arg(at(0));
    case EPlatformError::XmlNotWellFormed:
        if (at(0).isEmpty())
            return Language.GetText(QStringLiteral("ChybaXML"), QStringLiteral("Chyba v XML: %1 (řádek %2, sloupec %3)"))
                .arg(at(1), at(2), at(3));
        return Language.GetText(QStringLiteral("ChybaXMLSouboru"),
                                QStringLiteral("Chyba v XML souboru %1: %2 (řádek %3, sloupec %4)"))
            .arg(at(0), at(1), at(2), at(3));
    }
    return E.Message();
}

QString ExceptionText(const std::exception& E)
{
    if (const auto* platformError = dynamic_cast<const EPlatformError*>(&E))
        return PlatformErrorText(*platformError);
    if (const auto* e = dynamic_cast<const Exception*>(&E))
        return e->Message();
    return QString::fromLocal8Bit(E.what());
}

void ShowException(const std::exception& E)
{
    ShowErrorText(ExceptionText(E));
}

QString Lang(const char* Key, const char* Default)
{
    return Language.GetText(QString::fromUtf8(Key), QString::fromUtf8(Default));
}

namespace {

// One look for the buttons of every dialog: Qt's own boxes (message boxes,
// the input prompt) would take icons from the desktop's theme while the
// program's dialogs have none.
class TVynStyle final : public QProxyStyle
{
public:
    int styleHint(StyleHint Hint, const QStyleOption* Option, const QWidget* Widget,
                  QStyleHintReturn* ReturnData) const override
    {
        if (Hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 0;
        return QProxyStyle::styleHint(Hint, Option, Widget, ReturnData);
    }
};

} // namespace

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setStyle(new TVynStyle);
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
