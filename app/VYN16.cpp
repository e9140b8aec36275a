// The program: one main window and the window loop. It takes no
// command-line options.
#include "app/VYN16App.h"

#include "lang/uLanguageForms.h"
#include "platform/Capabilities.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include <unistd.h>

int main(int argc, char** argv)
{
    // Before anything else: Qt and the libraries it loads read the
    // environment and load plugins from where it says, so a program file
    // given capabilities (an old setcap) would lend them to any code its
    // user names. The helper holds the rights the program needs. Root keeps
    // what it has by being root: its environment is its own, and the
    // settings file it rewrites keeps its owner. Nothing before this line
    // reads the environment: the program's static objects are plain texts
    // and tables.
    const bool root = ::getuid() == 0 && ::geteuid() == 0;
    if (const int error = root ? 0 : platform::DropAllCapabilities(); error != 0) {
        // The file itself, wherever PATH or a link found it.
        char self[PATH_MAX] = {};
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        std::fprintf(stderr,
                     "VYN16 cannot give up the capabilities it was started with (%s), and does not run with them. "
                     "Take them away from the program file, as root:\n  setcap -r %s\n",
                     std::strerror(error), n > 0 ? self : argv[0]);
        return 1;
    }
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
