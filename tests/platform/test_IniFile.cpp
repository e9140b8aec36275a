#include "platform/IniFile.h"

#include "platform/Exception.h"
#include "platform/FileRead.h"

#include "TestFiles.h"
#include "support/QStringPrint.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <tuple>

using platform::IniFile;

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    QString path(const char* name = "vyn.ini") const { return dir.filePath(QLatin1String(name)); }
    void write(const QByteArray& bytes) const { writeFile(path(), bytes); }
    QByteArray read() const { return readFile(path()); }

    QTemporaryDir dir;
};

} // namespace

TEST_F(IniFileTest, ReadsTheFirstSectionIgnoringCaseSpacingAndQuotes)
{
    // file, section, key, value read (default "d")
    const std::tuple<QByteArray, const char*, const char*, QString> rows[] = {
        {"\xEF\xBB\xBF[ Last ]\n  IP =  10.1.2.3  \n; ip=comment\n[LAST]\nip=second\nmac=\n", "LAST", "Ip", "10.1.2.3"},
        {"[last]\nip=1\n[LAST]\nmac=second\n", "last", "mac", "d"},
        {"[last]\n; ip=comment\n", "last", "; ip", "d"},
        {"[language]\nlangfile=\n", "language", "langfile", ""},
        {"[s]\na=\"C:\\lang\\cesky.lng\"\n", "s", "a", "C:\\lang\\cesky.lng"},
        {"[s]\nb= \" spaced \" \n", "s", "b", " spaced "},
        {"[s]\nc=\"\n", "s", "c", "\""},
        {"[s]\nd=\"x\" y\n", "s", "d", "\"x\" y"},
        {"", "last", "ip", "d"},
        {QByteArray(1, '\0') + "\xff garbage\n[unterminated\nno equals sign\n", "unterminated", "no equals sign", "d"},
    };
    for (const auto& [file, section, key, expected] : rows) {
        SCOPED_TRACE(file.toStdString());
        write(file);
        EXPECT_EQ(IniFile(path()).ReadString(section, key, "d"), expected);
    }
    // What is written reads back as it was, quotes and all.
    IniFile ini(path());
    for (const QString value : {"\"quoted\"", "\""}) {
        ini.WriteString("t", "v", value);
        EXPECT_EQ(ini.ReadString("t", "v", "-"), value);
    }
}

TEST_F(IniFileTest, WritingOneKeyKeepsEverythingElse)
{
    IniFile ini(path());
    EXPECT_EQ(ini.ReadString("last", "ip", "192.168.1.254"), "192.168.1.254");
    ini.WriteString("last", "ip", "10.0.0.7");
    EXPECT_EQ(read(), "[last]\nip=10.0.0.7\n");

    const QByteArray original = "; settings of VYN\r\n[last]\r\nip = 192.168.1.10\r\nmac=00-11-22-33-44-55\r\n\r\n"
                                "[Language]\r\nlangfile=cesky.lng\r\n\r\n[other]\r\nx=1";
    write(original);
    ini.WriteString("LAST", "IP", "10.0.0.1");
    QByteArray expected = original;
    expected.replace("ip = 192.168.1.10", "ip = 10.0.0.1");
    EXPECT_EQ(read(), expected);

    // A new key goes behind the last line of its section, with the file's line ends.
    ini.WriteString("language", "extra", "a b");
    expected.replace("langfile=cesky.lng\r\n", "langfile=cesky.lng\r\nextra=a b\r\n");
    EXPECT_EQ(read(), expected);

    // A new section goes to the end; a last line without its line end gets one.
    ini.WriteString("new", "k", "v");
    expected += "\r\n\r\n[new]\r\nk=v\r\n";
    EXPECT_EQ(read(), expected);

    const QByteArray junk = QByteArray(1, '\0') + "\xff\xfe garbage\n[unterminated\n=novalue\n\xc3\x28";
    write(junk);
    ini.WriteString("last", "ip", "1.2.3.4");
    EXPECT_EQ(read(), junk + "\n\n[last]\nip=1.2.3.4\n");
}

TEST_F(IniFileTest, RefusesWhatPlainIniCannotHoldOrWhereItCannotWrite)
{
    write("[last]\nip=1.1.1.1\n");
    IniFile ini(path());
    EXPECT_THROW(ini.WriteString("last", "ip", "1.2.3.4\n[evil]\nx=y"), Exception);
    EXPECT_THROW(ini.WriteString("la]st", "ip", "v"), Exception);
    EXPECT_THROW(ini.WriteString("last", "i=p", "v"), Exception);
    EXPECT_THROW(ini.WriteString("", "ip", "v"), Exception);
    EXPECT_EQ(read(), "[last]\nip=1.1.1.1\n");

    EXPECT_THROW(IniFile(path("no/such/folder/vyn.ini")).WriteString("last", "ip", "1.2.3.4"), Exception);
}

TEST_F(IniFileTest, OnlyARegularFileIsReadOrReplaced)
{
    const QString fifo = path("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(fifo, path()));
    // A reader that wrongly opens the FIFO gets a text; one that stays away
    // leaves the feeder to be let go by the final open below.
    for (const bool writing : {false, true}) {
        std::thread feeder([&] {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY);
            if (fd >= 0) {
                (void)!::write(fd, "[last]\nip=9.9.9.9\n", 18);
                ::close(fd);
            }
        });
        if (writing)
            EXPECT_THROW(IniFile(path()).WriteString("last", "ip", "1.2.3.4"), EPlatformError);
        else
            EXPECT_EQ(IniFile(path()).ReadString("last", "ip", "d"), "d");
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
        feeder.join();
        ::close(fd);
    }
    EXPECT_TRUE(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    EXPECT_TRUE(QFileInfo(path()).isSymLink());
}

TEST_F(IniFileTest, AReadOnlyFileStaysAsItIsWhoeverRunsTheProgram)
{
    write("[last]\nip=1.1.1.1\n");
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    try {
        IniFile(path()).WriteString("last", "ip", "1.2.3.4");
        FAIL() << "a read-only file was written";
    } catch (const EPlatformError& e) {
        EXPECT_EQ(e.Kind(), EPlatformError::SettingsNotWritable);
    }
    EXPECT_EQ(read(), "[last]\nip=1.1.1.1\n");
    EXPECT_EQ(QFileInfo(path()).permissions() & 0x7077, QFileDevice::ReadOwner | QFileDevice::ReadGroup);

    // Root writing the operator's writable file leaves it the operator's.
    if (::geteuid() == 0) {
        ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        ASSERT_EQ(::chown(QFile::encodeName(path()).constData(), 65534, 65534), 0);
        IniFile(path()).WriteString("last", "ip", "1.2.3.4");
        EXPECT_EQ(read(), "[last]\nip=1.2.3.4\n");
        EXPECT_EQ(QFileInfo(path()).ownerId(), 65534u);
    }
}

// A settings file never grows past the size limit: a write that would take
// it past is refused as too large and leaves it be, so the next start still
// reads it. A file already past the limit is not read (its values give way
// to the defaults) and not replaced.
TEST_F(IniFileTest, AFileNeverGrowsPastTheSizeLimit)
{
    const QByteArray head = "[last]\nip=1.2.3.4\n;";
    const qint64 max = 16 * 1024 * 1024; // the figure itself: a changed limit must fail here
    const struct {
        qint64 size;
        const char* key;
        const char* value;
        bool written;
    } rows[] = {
        {max - 6, "mac", "m", true}, // "mac=m\n" ends exactly at the limit
        {max - 5, "mac", "m", false},
        {max, "ip", "4.3.2.1", true}, // as long as the value it replaces
        {max, "ip", "4.3.2.10", false},
        {max + 1, "ip", "4.3.2.1", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.size - max << " " << row.key << "=" << row.value);
        write(head + QByteArray(row.size - head.size() - 1, 'x') + '\n');
        const QByteArray before = read();
        try {
            IniFile(path()).WriteString("last", row.key, row.value);
            EXPECT_TRUE(row.written) << "written";
        } catch (const EPlatformError& e) {
            EXPECT_FALSE(row.written) << e.what();
            EXPECT_EQ(e.Kind(), EPlatformError::FileTooLarge);
            EXPECT_EQ(e.Detail(), QStringList{path()});
        }
        // The next start.
        const IniFile ini(path());
        if (row.written) {
            EXPECT_EQ(ini.ReadString("last", row.key, "d"), row.value);
            EXPECT_LE(QFileInfo(path()).size(), max);
        } else {
            EXPECT_EQ(ini.ReadString("last", "ip", "d"), row.size <= max ? "1.2.3.4" : "d");
            EXPECT_TRUE(read() == before) << "changed";
        }
    }
}
