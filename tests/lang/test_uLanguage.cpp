#include "lang/uLanguage.h"

#include "platform/IniFile.h"

#include "platform/TestFiles.h"
#include "support/ExceptionText.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(Language, GetTextGivesTheFirstConstTextOrTheDefault)
{
    TLanguage language;
    EXPECT_EQ(language.GetText("OK", "default"), "default");
    QTemporaryDir dir;
    const QString file = dir.filePath("texts.lng");
    writeFile(file, QString::fromUtf8("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                      "<lang><forms/><const><Zařízenínebylo text=\"Device not found\"/>"
                                      "<Empty text=\"\"/><NoText other=\"x\"/><Zařízenínebylo text=\"second\"/>"
                                      "</const><const><Later text=\"ignored\"/></const></lang>")
                        .toUtf8());
    language.LoadFromFile(file);
    const char* const rows[][2] = {
        {"Zařízenínebylo", "Device not found"}, {"zařízenínebylo", "default"}, {"Empty", ""},
        {"NoText", "default"},                  {"Later", "default"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(language.GetText(QString::fromUtf8(row[0]), "default"), QString::fromUtf8(row[1])) << row[0];

    // A failed load names the file and keeps the document.
    writeFile(dir.filePath("broken.lng"), "<lang><const>");
    EXPECT_TRUE(ExceptionText([&] { language.LoadFromFile(dir.filePath("broken.lng")); })
                    .startsWith(dir.filePath("broken.lng") + ": "));
    EXPECT_EQ(language.GetText("Empty", "default"), "");
    EXPECT_EQ(language.GetFileName(), file);
}

// Storing the file name relative to the program folder and loading it at
// start are proven by the main window's tests.
TEST(LanguageIni, LoadingFromSettingsNeverFails)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("vyn.ini");
    const QString before = Language.GetFileName();
    platform::IniFile(ini).WriteString("language", "langfile", "\\missing-english.lng");
    EXPECT_EQ(LoadLanguageFromIni(ini), ProgramFolder() + "missing-english.lng");
    EXPECT_EQ(Language.GetFileName(), before);
    EXPECT_FALSE(SaveLanguageToIni("/no/such/folder/vyn.ini", ini));
    EXPECT_EQ(GetLanguageIniName(), QCoreApplication::applicationFilePath() + ".ini");
}
