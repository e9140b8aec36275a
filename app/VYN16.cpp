// The program: one main window and the window loop. It takes no
// command-line options.
#include "app/VYN16App.h"

#include "lang/uLanguageForms.h"

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    // Without a display Qt would abort with a message about plugins; say
    // plainly what is missing instead.
    if (!HasGraphicalDisplay()) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(NoDisplayText()));
        return 1;
    }
    auto probe = std::make_unique<TDisplayProbe>();
    if (!probe->Problem().isEmpty()) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(probe->Problem()));
        return 1;
    }
    TApplication app(argc, argv);
    probe.reset(); // Qt has its own connection now
    QCoreApplication::setApplicationName(QStringLiteral("VYN"));
    InstallWindowTranslation();
    return RunVYN();
}
