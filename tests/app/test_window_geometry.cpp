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
    // prompt; three wizard pages; a conversation message; the quit question.
    EXPECT_EQ(run.Out.count(QStringLiteral("SHOT ")), 2 * 21) << run.Out.toStdString();
    EXPECT_FALSE(run.Out.contains(QStringLiteral("BAD "))) << run.Out.toStdString();
    for (const char* shot : {"cs_wizard_mac.png", "en_wizard_mac.png", "en_fInputIP_3.png", "en_mac_prompt.png"})
        EXPECT_FALSE(QImage(dir.filePath(QString::fromLatin1(shot))).isNull()) << shot;
}
