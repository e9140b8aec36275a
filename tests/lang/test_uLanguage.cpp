#include "lang/uLanguage.h"

#include "platform/Exception.h"
#include "platform/IniFile.h"

#include "LangTestFiles.h"
#include "support/ExceptionText.h"

#include <gtest/gtest.h>

namespace {

QString loadError(TLanguage& language, const QString& name)
{
    return ExceptionText([&] { language.LoadFromFile(name); });
}

} // namespace

TEST(Language, GetTextGivesTheFilesTextOrTheDefault)
{
    TLanguage language;
    EXPECT_EQ(language.GetText("OK", "OK"), "OK");

    QTemporaryDir dir;
    const QString file = dir.filePath("texts.lng");
    writeFile(file, QString::fromUtf8("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                      "<lang><forms/><const>"
                                      "<Zařízenínebylo text=\"Device not found\"/>"
                                      "<Empty text=\"\"/><NoText other=\"x\"/>"
                                      "<Zařízenínebylo text=\"second\"/>"
                                      "</const><const><Later text=\"ignored\"/></const></lang>")
                        .toUtf8());
    language.LoadFromFile(file);
    EXPECT_EQ(language.GetText(QString::fromUtf8("Zařízenínebylo"), "x"), "Device not found");
    EXPECT_EQ(language.GetText("Empty", "default"), "");
    EXPECT_EQ(language.GetText("NoText", "default"), "default");
    EXPECT_EQ(language.GetText("Later", "default"), "default");
    EXPECT_EQ(language.GetText("zařízenínebylo", "default"), "default");
}

TEST(Language, FailedLoadsNameTheFileAndKeepTheDocument)
{
    QTemporaryDir dir;
    const QString good = dir.filePath("good.lng");
    writeFile(good, simpleLanguageFile("Dobře"));
    TLanguage language;
    language.LoadFromFile(good);

    const QString notFound = QString::fromUtf8("Soubor s překladem:\"%1\" nenalezen!");
    const QString missing = dir.filePath("missing.lng");
    EXPECT_EQ(loadError(language, missing), notFound.arg(missing));

    const QByteArray whole = simpleLanguageFile("Nové");
    const QString broken = dir.filePath("broken.lng");
    for (const QByteArray& bytes : {whole.left(whole.size() / 2), QByteArray("\x89PNG\r\n\x1a\n\x00", 9)}) {
        writeFile(broken, bytes);
        const QString error = loadError(language, broken);
        EXPECT_TRUE(error.startsWith(broken + ": ") && error.contains("line")) << error.toStdString();
    }
    EXPECT_EQ(language.GetText("OK", "OK"), QString::fromUtf8("Dobře"));
    EXPECT_EQ(language.GetFileName(), good);
}

TEST(Language, BackslashMeansTheProgramFolder)
{
    TLanguage language;
    ProgramFolderFile file(QStringLiteral("english.lng"));
    writeFile(file.Path(), simpleLanguageFile("OK!"));
    language.LoadFromFile('\\' + file.Name);
    EXPECT_EQ(language.GetFileName(), ProgramFolder() + file.Name);
    EXPECT_EQ(language.GetText("OK", "OK"), "OK!");
}

TEST(LanguageIni, LanguageFileIsStoredRelativeToTheProgramFolder)
{
    ProgramFolderFile ini(QStringLiteral("vyn.ini"));
    ProgramFolderFile english(QStringLiteral("english.lng"));
    writeFile(english.Path(), simpleLanguageFile("OK (en)"));

    // A relative settings name lies in the program folder, too.
    ASSERT_TRUE(SaveLanguageToIni(ini.Name, english.Path()));
    const platform::IniFile settings(ini.Path());
    EXPECT_EQ(settings.ReadString("language", "langfile", "?"), english.Name);
    EXPECT_EQ(LoadLanguageFromIni(ini.Path()), english.Path());
    EXPECT_EQ(Language.GetText("OK", "OK"), "OK (en)");

    // An empty LangFile stores the file the language was loaded from.
    ASSERT_TRUE(SaveLanguageToIni(ini.Path(), QString()));
    EXPECT_EQ(settings.ReadString("language", "langfile", "?"), english.Name);

    // Without a name set, the program's name with ".ini"; a name set for the
    // program is used when none is given.
    EXPECT_EQ(GetLanguageIniName(), QCoreApplication::applicationFilePath() + ".ini");
    SetLanguageIniName(ini.Path());
    ASSERT_TRUE(SaveLanguageToIni());
    EXPECT_EQ(LoadLanguageFromIni(), english.Path());
    SetLanguageIniName(QString());

    EXPECT_FALSE(SaveLanguageToIni("/no/such/folder/vyn.ini", english.Path()));
}

TEST(LanguageIni, LoadingFromSettingsNeverFails)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("vyn.ini");

    const QString before = Language.GetFileName();
    platform::IniFile settings(ini);
    settings.WriteString("language", "langfile", "\\missing-english.lng");
    EXPECT_EQ(LoadLanguageFromIni(ini), ProgramFolder() + "missing-english.lng");
    const QString broken = dir.filePath("broken.lng");
    writeFile(broken, "<lang><const>");
    settings.WriteString("language", "langfile", broken);
    EXPECT_EQ(LoadLanguageFromIni(ini), broken);
    EXPECT_EQ(Language.GetFileName(), before);

    const QString good = dir.filePath("good.lng");
    writeFile(good, simpleLanguageFile("absolute"));
    settings.WriteString("language", "langfile", good);
    EXPECT_EQ(LoadLanguageFromIni(ini), good);
    EXPECT_EQ(Language.GetText("OK", "OK"), "absolute");
}
