// The program gives up every capability it holds before Qt reads its
// environment: a copy that holds some when it starts, run as a normal user
// with a plugin of the test's own on the plugin path, holds none when Qt
// loads the plugin; root keeps its own. Holding none, it starts even where
// capabilities cannot be changed; holding some there, it refuses and says
// how to take them away.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <grp.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <iterator>

namespace {

// In the child before it starts the program, as a sandbox would have it:
// capset and every change of the ambient set fail with EPERM; reading them
// and everything else is allowed. Installed while the child is root, so
// that a program file's capabilities still take effect.
void DenyCapabilityChanges()
{
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "an argument's low half is read first");
    constexpr unsigned kArgs = offsetof(seccomp_data, args);
    static sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_capset, 5, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_prctl, 0, 5),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kArgs),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PR_CAP_AMBIENT, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kArgs + 8),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PR_CAP_AMBIENT_IS_SET, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    static sock_fprog denial{static_cast<unsigned short>(std::size(filter)), filter};
    if (::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &denial) != 0)
        ::_exit(127);
}

// In the child: user and group nobody; with keep, the capabilities stay
// permitted (not effective).
void BecomeNobody(bool keep = false)
{
    if (::prctl(PR_SET_KEEPCAPS, keep ? 1 : 0, 0, 0, 0) != 0 || ::setgroups(0, nullptr) != 0 ||
        ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
        ::_exit(127);
}

QProcessEnvironment ProgramEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Leak checking stops the threads with ptrace, which a process started
    // with capabilities does not allow.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    return env;
}

} // namespace

TEST(Capabilities, TheProgramHoldsNoneByTheTimeQtLoadsAPlugin)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a copy capabilities and run it as another user";
    // Under /tmp, as setcap needs extended attributes, and open to every
    // user. A mapping document the program refuses ends it once Qt started.
    QTemporaryDir dir(QStringLiteral("/tmp/vyn-caps-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString d = dir.path(), noted = d + QStringLiteral("/caps");
    ASSERT_EQ(std::system(qPrintable(QStringLiteral("chmod 755 %1 && mkdir %1/generic && cp %2 %1/generic/ && "
                                                    "cp %3 %1/VYN16 && cp %3 %1/VYN16-given && echo '<root>' >%1/VYN.dmi "
                                                    "&& install -m 666 /dev/null %4 && "
                                                    "setcap cap_net_admin,cap_net_raw+ep %1/VYN16-given")
                                         .arg(d, QStringLiteral(CAPPROBE_PATH), QStringLiteral(VYN16_PATH), noted))),
              0);
    const QStringList nobody{"--reuid=65534", "--regid=65534", "--clear-groups"};
    const auto deniedToNobody = [] {
        DenyCapabilityChanges();
        BecomeNobody();
    };
    struct Row {
        const char* how;
        QString program;
        QStringList args;
        int emptySets; // of CapEff, CapPrm, CapInh and CapAmb
        // Set-up in the child where capabilities cannot be changed: setpriv
        // changes them itself.
        std::function<void()> child = {};
    };
    const Row rows[] = {
        {"capabilities of the program file", "setpriv", nobody + QStringList{d + "/VYN16-given"}, 4},
        {"ambient capabilities from the caller", "setpriv",
         nobody + QStringList{"--inh-caps=+net_admin,+net_raw", "--ambient-caps=+net_admin,+net_raw", d + "/VYN16"},
         4},
        // Passed on to a program with inheritable file capabilities.
        {"inheritable capabilities alone", "setpriv", nobody + QStringList{"--inh-caps=+net_admin", d + "/VYN16"}, 4},
        {"none, where capabilities cannot be changed", d + "/VYN16", {}, 4, deniedToNobody},
        // Root's settings file keeps its owner only while root keeps its rights.
        {"root", d + "/VYN16-given", {}, 2},
        {"root, where capabilities cannot be changed", d + "/VYN16-given", {}, 2, DenyCapabilityChanges},
    };
    for (const auto& [how, name, args, emptySets, child] : rows) {
        SCOPED_TRACE(how);
        ASSERT_TRUE(QFile::resize(noted, 0));
        QProcessEnvironment env = ProgramEnvironment();
        env.insert(QStringLiteral("QT_PLUGIN_PATH"), d);
        env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("capprobe"));
        env.insert(QStringLiteral("VYN_CAPPROBE_FILE"), noted);
        QProcess program;
        program.setWorkingDirectory(d);
        program.setProcessEnvironment(env);
        if (child)
            program.setChildProcessModifier(child);
        program.start(name, args);
        ASSERT_TRUE(program.waitForFinished(120000));
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_TRUE(program.exitCode() == 1 && err.contains(QStringLiteral("VYN: Chyba v XML"))) << err.toStdString();
        QFile file(noted);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString status = QString::fromLatin1(file.readAll());
        EXPECT_EQ(status.count(QRegularExpression(QStringLiteral("^Cap(Eff|Prm|Inh|Amb):\\s+0+$"),
                                                  QRegularExpression::MultilineOption)),
                  emptySets)
            << status.toStdString();
    }
}

// Holding capabilities where they cannot be changed, the program refuses to
// run. When its file carries them it names the file itself for `setcap -r`,
// quoted, however it was started: by its bare name or a link of another
// name, through PATH, from another folder. The line runs as it stands. A
// program that ran on would end at the mapping document it refuses.
TEST(Capabilities, ARefusalNamesTheProgramFileItself)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a copy capabilities and run it as another user";
    QTemporaryDir dir(QStringLiteral("/tmp/vyn-caps-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString d = dir.path(), folder = d + QStringLiteral("/a b'c"), copy = folder + QStringLiteral("/VYN16");
    ASSERT_EQ(std::system(qPrintable(QStringLiteral("chmod 755 %1 && mkdir -m 755 \"%2\" %1/bin %1/work \"%1/a b\" && "
                                                    "cp %3 \"%4\" && cp %3 %1/VYN16 && ln -s \"%4\" %1/bin/vyn && "
                                                    "cp %3 \"%1/a b/VYN16\" && echo '<root>' >%1/work/VYN.dmi && "
                                                    "setcap cap_net_admin,cap_net_raw+ep \"%4\" cap_net_admin,cap_net_raw+ep \"%1/a b/VYN16\"")
                                         .arg(d, folder, QStringLiteral(VYN16_PATH), copy))),
              0);
    const QString why = QStringLiteral("VYN16 cannot give up the capabilities it was started with (Operation not "
                                       "permitted), and does not run with them. ");
    const QString fromTheFile = why + QStringLiteral("Take them away from the program file, as root:\nsetcap -r '") +
        d + QStringLiteral("/a b'\\''c/VYN16'\n");
    const struct {
        const char* how;
        QString path, name; // PATH and the name started through it
        bool ambient;       // given by the caller, not by the file
        QString expected;
    } rows[] = {
        {"by its bare name", folder, QStringLiteral("VYN16"), false, fromTheFile},
        {"through a link of another name", d + QStringLiteral("/bin"), QStringLiteral("vyn"), false, fromTheFile},
        // A space alone needs the quotes too.
        {"from a folder with a space", d + QStringLiteral("/a b"), QStringLiteral("VYN16"), false,
         why + QStringLiteral("Take them away from the program file, as root:\nsetcap -r '") + d +
             QStringLiteral("/a b/VYN16'\n")},
        {"given ambient capabilities by the caller", d, QStringLiteral("VYN16"), true,
         why + QStringLiteral("Its program file carries none: start it without the capabilities it was given.\n")},
    };
    QString line; // the command, once
    for (const auto& [how, path, name, ambient, expected] : rows) {
        SCOPED_TRACE(how);
        QProcessEnvironment env = ProgramEnvironment();
        env.insert(QStringLiteral("PATH"), path + QStringLiteral(":/usr/bin:/bin"));
        QProcess program;
        program.setWorkingDirectory(d + QStringLiteral("/work"));
        program.setProcessEnvironment(env);
        program.setChildProcessModifier([ambient] {
            if (!ambient) {
                DenyCapabilityChanges();
                BecomeNobody();
                return;
            }
            // Kept through the change of user: the right to install the
            // filter without no_new_privs, and what becomes ambient.
            BecomeNobody(true);
            constexpr uint32_t net = 1u << CAP_NET_ADMIN | 1u << CAP_NET_RAW;
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct data[2] = {{net | 1u << CAP_SYS_ADMIN, net | 1u << CAP_SYS_ADMIN, net}, {}};
            if (::syscall(SYS_capset, &header, data) != 0 ||
                ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_NET_ADMIN, 0, 0) != 0 ||
                ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_NET_RAW, 0, 0) != 0)
                ::_exit(127);
            DenyCapabilityChanges();
        });
        // env finds the program along PATH and starts it by that name.
        program.start(QStringLiteral("env"), {name});
        ASSERT_TRUE(program.waitForFinished(60000));
        EXPECT_EQ(program.exitCode(), 1);
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(err, expected);
        if (line.isEmpty() && expected == fromTheFile)
            line = err.section(u'\n', -2, -2);
    }
    // Pasted into a shell, the line parses and, run as root, takes the
    // capabilities away from that copy.
    ASSERT_FALSE(line.isEmpty());
    for (const char* shell : {"sh", "bash"}) {
        SCOPED_TRACE(shell);
        QProcess check;
        check.start(QString::fromLatin1(shell), {QStringLiteral("-n"), QStringLiteral("-c"), line});
        ASSERT_TRUE(check.waitForFinished(60000));
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
    }
    ASSERT_GT(::getxattr(qPrintable(copy), "security.capability", nullptr, 0), 0);
    QProcess paste;
    paste.setWorkingDirectory(d + QStringLiteral("/work"));
    paste.start(QStringLiteral("sh"), {QStringLiteral("-c"), line});
    ASSERT_TRUE(paste.waitForFinished(60000));
    EXPECT_EQ(paste.exitCode(), 0) << paste.readAllStandardError().toStdString();
    EXPECT_EQ(::getxattr(qPrintable(copy), "security.capability", nullptr, 0), -1);
    EXPECT_EQ(errno, ENODATA);
}
