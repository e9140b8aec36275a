// The program: one main window and the window loop. It takes no
// command-line options.
#include "app/VYN16App.h"

#include "lang/uLanguageForms.h"
#include "platform/Capabilities.h"
#include "platform/ShellWord.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <unistd.h>

namespace {

// Why the program does not run, and how its capabilities are taken away:
// from the program file with a command on a line of its own, to be pasted
// as it stands; otherwise they came from whatever started it.
std::string CapabilityRefusal(int error)
{
    const std::string why = std::string("VYN16 cannot give up the capabilities it was started with (") +
        std::strerror(error) + "), and does not run with them. ";
    const platform::ProgramFile file = platform::RunningProgramFile();
    if (!file.capabilities)
        return why + "Its program file carries none: start it without the capabilities it was given.\n";
    if (file.path.empty())
        return why + "Take them away from the program file, as root, with setcap -r (/proc names no path to it).\n";
    return why + "Take them away from the program file, as root:\nsetcap -r " + platform::ShellWord(file.path) + '\n';
}

} // namespace

int main(int argc, char** argv)
{
    // Before anything else: Qt and the libraries it loads read the
    // environment and load plugins from where it says, so a program file
    // given capabilities (an old setcap) would lend them to any code its
    // user names. The helper holds the rights the program needs. Root keeps
    // what it has by being root: its environment is its own, and the
    // settings file it rewrites keeps its owner. Nothing before this line
    // reads the environment: the program's static objects are plain texts
    // and tables. Holding none, it changes nothing, so it also runs where
    // the system denies giving capabilities up.
    const bool root = ::getuid() == 0 && ::geteuid() == 0;
    if (const int error = root ? 0 : platform::DropAllCapabilities(); error != 0) {
        std::fputs(CapabilityRefusal(error).c_str(), stderr);
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
