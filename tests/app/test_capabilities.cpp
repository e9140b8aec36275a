// The program gives up every capability before Qt reads its environment: a
// copy of it that holds some when it starts, run as a normal user with a
// plugin of the test's own on the plugin path, holds none by the time Qt
// loads the plugin.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// The hex value of a "Name:\tvalue" line; -1 when there is none.
qint64 Field(const QByteArray& status, const QByteArray& name)
{
    for (const QByteArray& line : status.split('\n'))
        if (line.startsWith(name + ':')) {
            bool ok = false;
            const qint64 value = line.mid(name.size() + 1).trimmed().toLongLong(&ok, 16);
            return ok ? value : -1;
        }
    return -1;
}

bool Copy(const QString& from, const QString& to)
{
    return QFile::copy(from, to) && ::chmod(QFile::encodeName(to).constData(), 0755) == 0;
}

} // namespace

TEST(Capabilities, TheProgramHoldsNoneByTheTimeQtLoadsAPlugin)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a copy capabilities and run it as another user";
    // Under /tmp: setcap needs extended attributes; every user may enter it.
    QTemporaryDir dir(QStringLiteral("/tmp/vyn-caps-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("generic")));
    ASSERT_TRUE(Copy(QStringLiteral(CAPPROBE_PATH), dir.filePath(QStringLiteral("generic/capprobe.so"))));
    ASSERT_TRUE(Copy(QStringLiteral(VYN16_PATH), dir.filePath(QStringLiteral("VYN16"))));
    ASSERT_TRUE(Copy(QStringLiteral(VYN16_PATH), dir.filePath(QStringLiteral("VYN16-given"))));
    const QString given = dir.filePath(QStringLiteral("VYN16-given"));
    ASSERT_EQ(std::system(qPrintable(QStringLiteral("setcap cap_net_admin,cap_net_raw+ep ") + given)), 0);
    // A mapping document the program refuses: it ends once Qt has started.
    QFile mapping(dir.filePath(QStringLiteral("VYN.dmi")));
    ASSERT_TRUE(mapping.open(QIODevice::WriteOnly) && mapping.write("<root>") == 6);
    mapping.close();
    const QString noted = dir.filePath(QStringLiteral("caps"));

    const QStringList nobody{"--reuid=65534", "--regid=65534", "--clear-groups"};
    const struct {
        const char* how;
        QStringList setpriv;
    } rows[] = {
        {"capabilities of the program file", nobody + QStringList{given}},
        {"ambient capabilities from the caller",
         nobody + QStringList{"--inh-caps=+net_admin,+net_raw", "--ambient-caps=+net_admin,+net_raw",
                              dir.filePath(QStringLiteral("VYN16"))}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        QFile::remove(noted);
        QFile(noted).open(QIODevice::WriteOnly);
        ASSERT_EQ(::chmod(QFile::encodeName(noted).constData(), 0666), 0);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_PLUGIN_PATH"), dir.path());
        env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("capprobe"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("VYN_CAPPROBE_FILE"), noted);
        // Leak checking stops the other threads with ptrace, which a
        // process started with capabilities does not allow.
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        QProcess program;
        program.setWorkingDirectory(dir.path());
        program.setProcessEnvironment(env);
        program.start(QStringLiteral("setpriv"), row.setpriv);
        ASSERT_TRUE(program.waitForFinished(120000));
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(program.exitCode(), 1) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("VYN: Chyba v XML"))) << err.toStdString();

        QFile file(noted);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray status = file.readAll();
        EXPECT_EQ(Field(status, "CapEff"), 0) << status.toStdString();
        EXPECT_EQ(Field(status, "CapPrm"), 0) << status.toStdString();
    }
}
