// Every window the program shows, on a real X server in both languages:
// texts fit their controls, controls stay inside their windows and apart,
// nothing is squeezed, no Czech text is left in English and dialog buttons
// carry no icons (the checks live in settings_screens.cpp).
#include "tests/app/XvfbRun.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(WindowGeometry, EveryWindowFitsAndIsTranslatedOnARealDisplay)
{
    QTemporaryDir dir;
    const XvfbRun run = RunOnXvfb(SCREENS_PATH, dir.path(), 120000, QStringLiteral("windows"));
    ASSERT_RAN_ON_XVFB(run);
    // Per language: the main window without a device, loaded and on eight
    // pages; the search dialog in four modes and its notice; the MAC
    // prompt; three wizard pages; the quit question; and the conversation
    // window with each of its long messages (a row of the screens' table,
    // the language file's longest text and the rights error), whole.
    const qsizetype messages = run.Out.count(QStringLiteral("SHOT en_conversation"));
    EXPECT_EQ(run.Out.count(QStringLiteral("SHOT ")), 2 * (20 + messages)) << run.Out.toStdString();
    EXPECT_GE(messages, 3);
    EXPECT_EQ(run.Out.count(QStringLiteral("SHOT cs_conversation")), messages);
    EXPECT_FALSE(run.Out.contains(QStringLiteral("BAD "))) << run.Out.toStdString();
    for (const char* shot : {"cs_wizard_mac.png", "en_wizard_mac.png", "en_fInputIP_3.png", "en_mac_prompt.png"})
        EXPECT_FALSE(QImage(dir.filePath(QString::fromLatin1(shot))).isNull()) << shot;
}
