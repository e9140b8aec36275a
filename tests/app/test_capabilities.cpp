// The program gives up every capability before Qt reads its environment: a
// copy that holds some when it starts, run as a normal user with a plugin of
// the test's own on the plugin path, holds none when Qt loads the plugin;
// root keeps its own.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <iterator>

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
    struct Row {
        const char* how;
        QStringList setpriv;
        int emptySets; // of CapEff and CapPrm
    };
    const Row rows[] = {
        {"capabilities of the program file", nobody + QStringList{d + "/VYN16-given"}, 2},
        {"ambient capabilities from the caller",
         nobody + QStringList{"--inh-caps=+net_admin,+net_raw", "--ambient-caps=+net_admin,+net_raw", d + "/VYN16"},
         2},
        // Root's settings file keeps its owner only while root keeps its rights.
        {"root", QStringList{d + "/VYN16-given"}, 0},
    };
    for (const auto& [how, setpriv, emptySets] : rows) {
        SCOPED_TRACE(how);
        ASSERT_TRUE(QFile::resize(noted, 0));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_PLUGIN_PATH"), d);
        env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("capprobe"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("VYN_CAPPROBE_FILE"), noted);
        // Leak checking stops the threads with ptrace, which a process
        // started with capabilities does not allow.
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        QProcess program;
        program.setWorkingDirectory(d);
        program.setProcessEnvironment(env);
        program.start(QStringLiteral("setpriv"), setpriv);
        ASSERT_TRUE(program.waitForFinished(120000));
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_TRUE(program.exitCode() == 1 && err.contains(QStringLiteral("VYN: Chyba v XML"))) << err.toStdString();
        QFile file(noted);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString status = QString::fromLatin1(file.readAll());
        EXPECT_EQ(status.count(QRegularExpression(QStringLiteral("^Cap(Eff|Prm):\\s+0+$"),
                                                  QRegularExpression::MultilineOption)),
                  emptySets)
            << status.toStdString();
    }
}

// When the capabilities cannot be given up, the program refuses to run and
// names its own file for `setcap -r`, however it was started: here through a
// link of another name, as a normal user whose capset the system denies.
TEST(Capabilities, ARefusalNamesTheProgramFileItself)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program as another user";
    QTemporaryDir dir(QStringLiteral("/tmp/vyn-caps-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(std::system(qPrintable(QStringLiteral("chmod 755 %1 && cp %2 %1/VYN16 && ln -s VYN16 %1/vyn")
                                         .arg(dir.path(), QStringLiteral(VYN16_PATH)))),
              0);
    QProcess program;
    program.setChildProcessModifier([] {
        // capset fails with EPERM; everything else is allowed.
        static sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_capset, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        static sock_fprog denial{static_cast<unsigned short>(std::size(filter)), filter};
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0 || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &denial) != 0)
            ::_exit(127);
    });
    program.start(dir.filePath(QStringLiteral("vyn")), {});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_EQ(QString::fromUtf8(program.readAllStandardError()),
              "VYN16 cannot give up the capabilities it was started with (Operation not permitted), and does not run "
              "with them. Take them away from the program file, as root:\n  setcap -r " +
                  dir.filePath(QStringLiteral("VYN16")) + u'\n');
}
