#include "platform/IniFile.h"

#include "platform/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

using platform::IniFile;

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    QString path(const char* name = "vyn.ini") const { return dir.filePath(QLatin1String(name)); }

    void write(const QByteArray& bytes) const
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray read() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(IniFileTest, MissingOrEmptyFileGivesDefaultsAndWritingCreatesIt)
{
    IniFile ini(path());
    EXPECT_EQ(ini.ReadString("last", "ip", "192.168.1.254"), "192.168.1.254");
    ini.WriteString("last", "ip", "10.0.0.7");
    EXPECT_EQ(read(), "[last]\nip=10.0.0.7\n");
    EXPECT_EQ(ini.ReadString("last", "ip", "x"), "10.0.0.7");

    write("");
    EXPECT_EQ(ini.ReadString("last", "ip", "d"), "d");
    ini.WriteString("language", "langfile", "english.lng");
    EXPECT_EQ(read(), "[language]\nlangfile=english.lng\n");
}

TEST_F(IniFileTest, NamesIgnoreCaseAndSpacingAndFirstSectionCounts)
{
    write("\xEF\xBB\xBF[ Last ]\n  IP =  10.1.2.3  \n; ip=comment\n[LAST]\nip=second\nmac=\n");
    IniFile ini(path());
    EXPECT_EQ(ini.ReadString("LAST", "Ip", "d"), "10.1.2.3");
    // Only the first of two equal sections counts, and an empty value is a value.
    EXPECT_EQ(ini.ReadString("last", "mac", "d"), "d");
    EXPECT_EQ(ini.ReadString("last", "; ip", "d"), "d");

    write("[language]\nlangfile=\n");
    EXPECT_EQ(ini.ReadString("language", "langfile", "d"), "");
}

TEST_F(IniFileTest, WritingOneKeyKeepsEverythingElse)
{
    const QByteArray original = "; settings of VYN\r\n"
                                "[last]\r\n"
                                "ip = 192.168.1.10\r\n"
                                "mac=00-11-22-33-44-55\r\n"
                                "\r\n"
                                "[Language]\r\n"
                                "langfile=cesky.lng\r\n"
                                "\r\n"
                                "[other]\r\n"
                                "x=1";
    write(original);
    IniFile ini(path());

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
}

TEST_F(IniFileTest, GarbledFileIsReadAndKeptAsItIs)
{
    const QByteArray junk("\x00\xff\xfe garbage\n[unterminated\nno equals sign\n=novalue\n\xc3\x28", 52);
    write(junk);
    IniFile ini(path());
    EXPECT_EQ(ini.ReadString("unterminated", "no equals sign", "d"), "d");
    ini.WriteString("last", "ip", "1.2.3.4");
    const QByteArray now = read();
    ASSERT_TRUE(now.startsWith(junk)) << now.toHex().toStdString();
    EXPECT_EQ(now.mid(junk.size()), "\n\n[last]\nip=1.2.3.4\n");
}

TEST_F(IniFileTest, RefusesWhatPlainIniCannotHold)
{
    write("[last]\nip=1.1.1.1\n");
    IniFile ini(path());
    EXPECT_THROW(ini.WriteString("last", "ip", "1.2.3.4\n[evil]\nx=y"), Exception);
    EXPECT_THROW(ini.WriteString("la]st", "ip", "v"), Exception);
    EXPECT_THROW(ini.WriteString("last", "i=p", "v"), Exception);
    EXPECT_THROW(ini.WriteString("", "ip", "v"), Exception);
    EXPECT_EQ(read(), "[last]\nip=1.1.1.1\n");
}

TEST_F(IniFileTest, UnwritableOrUnreadablePlacesFailCleanly)
{
    IniFile inMissingFolder(path("no/such/folder/vyn.ini"));
    try {
        inMissingFolder.WriteString("last", "ip", "1.2.3.4");
        FAIL() << "writing into a missing folder succeeded";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().startsWith("Unable to write to " + path("no/such/folder/vyn.ini")))
            << e.Message().toStdString();
    }

    // A folder in place of the file: nothing to read, and it is not replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
    IniFile folder(path("folder.ini"));
    EXPECT_THROW(folder.WriteString("last", "ip", "1.2.3.4"), Exception);
    EXPECT_TRUE(QFileInfo(path("folder.ini")).isDir());
}

namespace {

// Feeds one text into a FIFO if anybody opens it for reading; Release lets
// the feeder go when nobody did, so a correct reader that stays away never
// leaves the test waiting.
class FifoFeeder
{
public:
    FifoFeeder(const QString& fifo, QByteArray text)
        : m_fifo(QFile::encodeName(fifo)), m_thread([this, text] {
              const int fd = ::open(m_fifo.constData(), O_WRONLY);
              if (fd >= 0) {
                  (void)!::write(fd, text.constData(), size_t(text.size()));
                  ::close(fd);
              }
          })
    {
    }
    ~FifoFeeder()
    {
        const int fd = ::open(m_fifo.constData(), O_RDONLY | O_NONBLOCK);
        m_thread.join();
        if (fd >= 0)
            ::close(fd);
    }

private:
    QByteArray m_fifo;
    std::thread m_thread;
};

} // namespace

TEST_F(IniFileTest, OnlyARegularFileIsReadOrReplaced)
{
    const QString fifo = path("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(fifo, path()));
    {
        FifoFeeder feeder(fifo, "[last]\nip=9.9.9.9\n");
        EXPECT_EQ(IniFile(path()).ReadString("last", "ip", "d"), "d");
    }
    {
        FifoFeeder feeder(fifo, "[last]\nip=9.9.9.9\n");
        EXPECT_THROW(IniFile(path()).WriteString("last", "ip", "1.2.3.4"), EPlatformError);
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

TEST_F(IniFileTest, ValuesInDoubleQuotesAreReadWithoutThem)
{
    write("[s]\na=\"C:\\lang\\cesky.lng\"\nb= \" spaced \" \nc=\"\nd=\"x\" y\n");
    IniFile ini(path());
    EXPECT_EQ(ini.ReadString("s", "a", "-"), "C:\\lang\\cesky.lng");
    EXPECT_EQ(ini.ReadString("s", "b", "-"), " spaced ");
    EXPECT_EQ(ini.ReadString("s", "c", "-"), "\"");
    EXPECT_EQ(ini.ReadString("s", "d", "-"), "\"x\" y");

    // What is written reads back as it was, quotes and all.
    for (const QString value : {"\"quoted\"", "\""}) {
        ini.WriteString("t", "v", value);
        EXPECT_EQ(ini.ReadString("t", "v", "-"), value);
    }
}
