#include "lang/uLanguage.h"

#include "platform/Exception.h"
#include "platform/IniFile.h"

#include "LangTestFiles.h"
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
    const QString notFound = QString::fromUtf8("Soubor s překladem:\"%1\" nenalezen!");
    EXPECT_EQ(ExceptionText([&] { language.LoadFromFile(dir.filePath("missing.lng")); }),
              notFound.arg(dir.filePath("missing.lng")));
    EXPECT_EQ(ExceptionText([&] { language.LoadFromFile(QString()); }), notFound.arg(QString()));
    writeFile(dir.filePath("broken.lng"), "<lang><const>");
    EXPECT_TRUE(ExceptionText([&] { language.LoadFromFile(dir.filePath("broken.lng")); })
                    .startsWith(dir.filePath("broken.lng") + ": "));
    EXPECT_EQ(language.GetText("Empty", "default"), "");
    EXPECT_EQ(language.GetFileName(), file);
}

TEST(LanguageIni, TheFileIsStoredRelativeToTheProgramFolderAndLoadingNeverFails)
{
    const QString stem = QStringLiteral("%1-").arg(QCoreApplication::applicationPid());
    const QString ini = stem + "vyn.ini", english = ProgramFolder() + stem + "english.lng";
    writeFile(english, "<lang><const><OK text=\"OK (en)\"/></const></lang>");
    ASSERT_TRUE(SaveLanguageToIni(ini, english));
    platform::IniFile settings(ProgramFolder() + ini);
    EXPECT_EQ(settings.ReadString("language", "langfile", "?"), stem + "english.lng");
    EXPECT_EQ(LoadLanguageFromIni(ini), english);
    EXPECT_EQ(Language.GetText("OK", "OK"), "OK (en)");
    EXPECT_EQ(Language.GetFileName(), english);
    Language.LoadFromFile('\\' + stem + "english.lng");
    EXPECT_EQ(Language.GetFileName(), english);

    // A missing file loads nothing and gives its name back.
    settings.WriteString("language", "langfile", "\\missing-english.lng");
    EXPECT_EQ(LoadLanguageFromIni(ProgramFolder() + ini), ProgramFolder() + "missing-english.lng");
    EXPECT_EQ(Language.GetFileName(), english);
    EXPECT_FALSE(SaveLanguageToIni("/no/such/folder/vyn.ini", english));
    EXPECT_EQ(GetLanguageIniName(), QCoreApplication::applicationFilePath() + ".ini");
    QFile::remove(english);
    QFile::remove(ProgramFolder() + ini);
}
