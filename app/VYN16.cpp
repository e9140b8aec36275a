// The program: one main window and the window loop. It takes no
// command-line options.
#include "app/VYN16App.h"

#include "lang/uLanguageForms.h"

#include <cstdio>

int main(int argc, char** argv)
{
    // Without a display Qt would abort with a message about plugins; say
    // plainly what is missing instead.
    if (!HasGraphicalDisplay()) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(NoDisplayText()));
        return 1;
    }
    if (const QString problem = UnreachableDisplayText(); !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(problem));
        return 1;
    }
    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("VYN"));
    InstallWindowTranslation();
    return RunVYN();
}
