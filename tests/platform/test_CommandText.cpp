#include "platform/CommandText.h"

#include "support/QStringPrint.h"

#include <gtest/gtest.h>

#include <tuple>

using platform::CommandLine;

// A command marked into a message comes out whole and once; the text keeps
// its other lines and their breaks, and neither the mark nor a break left
// dangling where the command stood.
TEST(CommandText, SplitCommandsTakesTheMarkedLinesOutOfTheText)
{
    const QString c = QStringLiteral("chown root:vynnet '/home/ann/my vyn/vyn-netpriv' && chmod 750 "
                                     "'/home/ann/my vyn/vyn-netpriv'");
    const QString d = QStringLiteral("setcap cap_net_admin,cap_net_raw+ep /opt/vyn-netpriv");
    const QString mark(QChar(0x1E));
    // message, text, commands
    const std::tuple<QString, QString, QStringList> rows[] = {
        {QStringLiteral("Jako root:") + CommandLine(c), QStringLiteral("Jako root:"), {c}},
        {QStringLiteral("Name:\r\nJako root:") + CommandLine(c) + QStringLiteral("\r\n(#00000522)"),
         QStringLiteral("Name:\r\nJako root:\r\n(#00000522)"), {c}},
        {QStringLiteral("Name:\r\nJako root:") + CommandLine(c) + QStringLiteral("\r\n"),
         QStringLiteral("Name:\r\nJako root:"), {c}},
        {QStringLiteral("Ano?\r\n\r\nJako root:") + CommandLine(c) + QStringLiteral("\r\nZnovu:") + CommandLine(c),
         QStringLiteral("Ano?\r\n\r\nJako root:\r\nZnovu:"), {c}},
        {QStringLiteral("Dva:") + CommandLine(d) + CommandLine(c) + CommandLine(d), QStringLiteral("Dva:"), {d, c}},
        {QStringLiteral("A\n") + mark + c + QStringLiteral("\nB\n\nC"), QStringLiteral("A\nB\n\nC"), {c}},
        {mark + c + QStringLiteral("\r\nB"), QStringLiteral("B"), {c}},
        {CommandLine(c), QString(), {c}},
        {QStringLiteral("Bez příkazu\r\n/home/ann && ls\r\n"), QStringLiteral("Bez příkazu\r\n/home/ann && ls\r\n"), {}},
    };
    for (const auto& [message, text, commands] : rows) {
        SCOPED_TRACE(message.toStdString());
        const platform::MessageParts parts = platform::SplitCommands(message);
        EXPECT_EQ(parts.text, text);
        EXPECT_EQ(parts.commands, commands);
    }
}

// On a terminal the command keeps its own line and loses its mark.
TEST(CommandText, PlainMessageKeepsTheCommandOnItsOwnLine)
{
    const QString c = QStringLiteral("setcap cap_net_admin,cap_net_raw+ep '/opt/my vyn/vyn-netpriv'");
    EXPECT_EQ(platform::PlainMessage(QStringLiteral("Name:\r\nJako root:") + CommandLine(c) +
                                     QStringLiteral("\r\n(#00000522)")),
              QStringLiteral("Name:\r\nJako root:\r\n") + c + QStringLiteral("\r\n(#00000522)"));
}

// A path made whole for a wrapped text is the same path again on a terminal,
// its letters and their marks kept together.
TEST(CommandText, AnUnbrokenPathReadsAsThePathOnATerminal)
{
    for (const QString& path : {QStringLiteral("/opt/vyn/bin/vyn-netpriv"), QStringLiteral("/home/ann/my vyn/vyn-netpriv"),
                                QStringLiteral("/home/ann/it's a bin/vyn-netpriv"),
                                QStringLiteral("/home/zdene\u030Ck/\U0001F600 vyn/vyn-netpriv")}) {
        SCOPED_TRACE(path.toStdString());
        const QString unbroken = platform::UnbrokenPath(path);
        EXPECT_FALSE(unbroken.contains(u' '));
        EXPECT_EQ(platform::PlainMessage(unbroken), path);
        EXPECT_EQ(platform::PlainMessage(QStringLiteral("Program ") + unbroken + QStringLiteral(" chybí.")),
                  QStringLiteral("Program ") + path + QStringLiteral(" chybí."));
        // No joiner parts a letter from its mark or a surrogate pair.
        for (qsizetype i = 1; i < unbroken.size(); ++i) {
            if (unbroken[i - 1] == QChar(0x2060)) {
                EXPECT_FALSE(unbroken[i].isMark() || unbroken[i].isLowSurrogate()) << i;
            }
        }
    }
}

// A path too wide for any line gets its break chances back; one that fits
// stays whole, and the text around both is as it was.
TEST(CommandText, APathWiderThanALineGetsItsBreakChancesBack)
{
    const QString fitting = QStringLiteral("/opt/my vyn/vyn-netpriv"),
                  wide = QStringLiteral("/home/ann/") + QStringLiteral("a-long folder/").repeated(6) + QStringLiteral("vyn-netpriv");
    const QString text = QStringLiteral("Program ") + platform::UnbrokenPath(fitting) + QStringLiteral(" a ") +
        platform::UnbrokenPath(wide) + QStringLiteral(", nic víc.");
    const auto fits = [](const QString& run) { return run.size() < 60; };
    EXPECT_EQ(platform::LoosenWidePaths(text, fits),
              QStringLiteral("Program ") + platform::UnbrokenPath(fitting) + QStringLiteral(" a ") + wide +
                  QStringLiteral(", nic víc."));
    EXPECT_EQ(platform::LoosenWidePaths(text, [](const QString&) { return true; }), text);
    EXPECT_EQ(platform::LoosenWidePaths(QStringLiteral("Bez cesty."), [](const QString&) { return false; }),
              QStringLiteral("Bez cesty."));
}
