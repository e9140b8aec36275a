#include "platform/FileRead.h"

#include "platform/Exception.h"

#include "TestFiles.h"
#include "support/BoundedChild.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// What reading gives, as one line: the bytes' count and first line, or the
// refusal with its details.
std::string Outcome(const QString& path, qint64 max)
{
    try {
        const QByteArray bytes = platform::ReadFileWithin(path, max);
        return "read " + std::to_string(bytes.size()) + ": " + bytes.left(bytes.indexOf('\n')).toStdString();
    } catch (const EPlatformError& e) {
        const char* kinds[] = {"", "", "not opened", "not read", "too large", ""};
        return std::string(kinds[e.Kind()]) + ": " + e.Detail().mid(1).join(u'|').toStdString();
    }
}

} // namespace

// Only a regular file is read, and never past the limit; anything else is
// refused at once, saying why. Each read runs in a child of its own, so a
// reader that waits on the FIFO or reads the device without end fails the
// test instead of hanging it.
TEST(ReadFileWithin, ARegularFileUpToTheLimitAndNothingElse)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, dir.filePath("link-to-pipe")));
    ASSERT_TRUE(QFile::link("/dev/zero", dir.filePath("link-to-zero")));
    writeFile(dir.filePath("eight"), "8 bytes\n");
    const struct {
        QString path;
        qint64 max;
        const char* outcome; // a pattern
    } rows[] = {
        {dir.filePath("eight"), 8, "read 8: 8 bytes"},
        {dir.filePath("eight"), 7, "too large: "},
        {dir.filePath("missing"), 8, "not opened: No such file or directory"},
        {dir.path(), 8, "not opened: Is a directory"},
        {fifo, 8, "not opened: Not a regular file"},
        {dir.filePath("link-to-pipe"), 8, "not opened: Not a regular file"},
        {"/dev/zero", 8, "not opened: Not a regular file"},
        {dir.filePath("link-to-zero"), platform::MaxOperatorFileSize, "not opened: Not a regular file"},
        // A file that tells no size (or grows): read in steps, never past the limit.
        {"/proc/self/status", platform::MaxOperatorFileSize, "read [0-9]{3,}: Name:\t.+"},
        {"/proc/self/status", 64, "too large: "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        const BoundedEnd end = RunBounded([&] { return Outcome(row.path, row.max); });
        EXPECT_EQ(end.Fault, "");
        const QRegularExpression outcome(QRegularExpression::anchoredPattern(QLatin1String(row.outcome)));
        EXPECT_TRUE(outcome.match(QString::fromStdString(end.Text)).hasMatch()) << end.Text;
    }
}
