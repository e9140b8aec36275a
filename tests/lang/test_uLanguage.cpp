#include "lang/uLanguage.h"

#include "platform/Exception.h"
#include "platform/IniFile.h"

#include "LangTestFiles.h"

#include <QDir>
#include <QObject>

#include <gtest/gtest.h>

namespace {

QString loadError(TLanguage& language, const QString& name)
{
    try {
        language.LoadFromFile(name);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("<loaded>");
}

// Stands in for the widget part: notes what it is asked to apply.
class RecordingTranslator : public TFormTranslator
{
public:
    void ApplyForms(const TXmlElement& forms) override
    {
        for (const TXmlElement& form : forms.Children())
            log << "forms:" + form.Name() + "=" + form.Attribute("caption");
        if (failOnForms)
            throw Exception(QStringLiteral("Property bogus does not exist"));
    }
    void ApplyNode(QObject* control, const TXmlElement& node) override
    {
        log << "node:" + control->objectName() + "=" + node.Attribute("caption");
    }

    QStringList log;
    bool failOnForms = false;
};

} // namespace

TEST(Language, GetTextGivesTheFilesTextOrTheDefault)
{
    TLanguage language;
    EXPECT_EQ(language.GetText("OK", "OK"), "OK");
    EXPECT_EQ(language.GetFileName(), "");

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
    EXPECT_EQ(language.GetFileName(), file);
    EXPECT_EQ(language.GetText(QString::fromUtf8("Zařízenínebylo"), "x"), "Device not found");
    EXPECT_EQ(language.GetText("Empty", "default"), "");
    EXPECT_EQ(language.GetText("NoText", "default"), "default");
    EXPECT_EQ(language.GetText("Missing", "default"), "default");
    EXPECT_EQ(language.GetText("Later", "default"), "default");
    EXPECT_EQ(language.GetText("", "default"), "default");
    EXPECT_EQ(language.GetText("zařízenínebylo", "default"), "default");

    writeFile(file, "<lang><forms/></lang>");
    language.LoadFromFile(file);
    EXPECT_EQ(language.GetText(QString::fromUtf8("Zařízenínebylo"), "default"), "default");
}

// A language object with one file loaded, which failed loads must leave in force.
class LoadedLanguage : public ::testing::Test
{
protected:
    LoadedLanguage()
    {
        writeFile(good, simpleLanguageFile("Dobře"));
        language.LoadFromFile(good);
    }

    void expectPreviousDocument()
    {
        EXPECT_EQ(language.GetText("OK", "OK"), QString::fromUtf8("Dobře"));
        EXPECT_EQ(language.GetFileName(), good);
    }

    QTemporaryDir dir;
    const QString good = dir.filePath("good.lng");
    TLanguage language;
};

TEST_F(LoadedLanguage, MissingFileFailsWithItsNameAndKeepsTheDocument)
{
    const QString notFound = QString::fromUtf8("Soubor s překladem:\"%1\" nenalezen!");
    const QString missing = dir.filePath("missing.lng");
    EXPECT_EQ(loadError(language, missing), notFound.arg(missing));
    EXPECT_EQ(loadError(language, ""), notFound.arg(""));
    EXPECT_EQ(loadError(language, dir.path()), notFound.arg(dir.path()));
    expectPreviousDocument();
}

TEST_F(LoadedLanguage, BrokenFileGivesTheParsersErrorAndKeepsTheDocument)
{
    const QByteArray whole = simpleLanguageFile("Nové");
    const QString broken = dir.filePath("broken.lng");
    for (const QByteArray& bytes : {whole.left(whole.size() / 2), QByteArray(), QByteArray("\x89PNG\r\n\x1a\n\x00\x00", 10),
                                    QByteArray("<lang><const><OK text=\"a\"></lang>")}) {
        writeFile(broken, bytes);
        const QString error = loadError(language, broken);
        EXPECT_TRUE(error.startsWith(broken + ": ")) << error.toStdString();
        EXPECT_TRUE(error.contains("line")) << error.toStdString();
        expectPreviousDocument();
    }
}

TEST(Language, BackslashMeansTheProgramFolder)
{
    TLanguage language;
    ProgramFolderFile file(QStringLiteral("english.lng"));
    writeFile(file.Path(), simpleLanguageFile("OK!"));
    language.LoadFromFile('\\' + file.Name());
    EXPECT_EQ(language.GetFileName(), ProgramFolder() + file.Name());
    EXPECT_EQ(language.GetText("OK", "OK"), "OK!");
    EXPECT_TRUE(ProgramFolder().endsWith('/'));
    EXPECT_TRUE(QDir::isAbsolutePath(ProgramFolder()));
}

TEST(Language, FormsGoToTheTranslatorAndTranslateFormUsesTheFirstOnly)
{
    TLanguage language;
    RecordingTranslator translator;
    language.SetFormTranslator(&translator);
    QObject early;
    early.setObjectName("fMain");
    language.TranslateForm(&early); // no document yet
    EXPECT_TRUE(translator.log.isEmpty());

    QTemporaryDir dir;
    const QString file = dir.filePath("two.lng");
    writeFile(file, "<lang><forms><fMain caption=\"A\"/><fOther caption=\"B\"/></forms><const/>"
                    "<forms><fMain caption=\"C\"/><fLate caption=\"D\"/></forms></lang>");
    language.LoadFromFile(file);
    EXPECT_EQ(translator.log.join(' '), "forms:fMain=A forms:fOther=B forms:fMain=C forms:fLate=D");

    translator.log.clear();
    QObject late;
    late.setObjectName("fLate");
    language.TranslateForm(&late);
    language.TranslateForm(&early);
    language.TranslateForm(nullptr);
    QObject unnamed;
    language.TranslateForm(&unnamed);
    EXPECT_EQ(translator.log.join(' '), "node:fMain=A");

    // A failure while applying reaches the caller, but the new file is in force.
    const QString failing = dir.filePath("failing.lng");
    writeFile(failing, "<lang><forms><fMain/></forms><const><OK text=\"new\"/></const></lang>");
    translator.failOnForms = true;
    EXPECT_EQ(loadError(language, failing), "Property bogus does not exist");
    EXPECT_EQ(language.GetText("OK", "OK"), "new");
    EXPECT_EQ(language.GetFileName(), failing);
}

TEST(LanguageIni, IniNameDefaultsToTheProgramNameWithIni)
{
    SetLanguageIniName(QString());
    const QFileInfo program(QCoreApplication::applicationFilePath());
    EXPECT_EQ(GetLanguageIniName(), program.absolutePath() + '/' + program.fileName() + ".ini");
    SetLanguageIniName("/etc/elsewhere/vyn.ini");
    EXPECT_EQ(GetLanguageIniName(), "/etc/elsewhere/vyn.ini");
    SetLanguageIniName(QString());
}

TEST(LanguageIni, LanguageFileIsStoredRelativeToTheProgramFolder)
{
    ProgramFolderFile ini(QStringLiteral("vyn.ini"));
    ProgramFolderFile english(QStringLiteral("english.lng"));
    writeFile(english.Path(), simpleLanguageFile("OK (en)"));

    // A relative settings name lies in the program folder, too.
    ASSERT_TRUE(SaveLanguageToIni(ini.Name(), english.Path()));
    const platform::IniFile settings(ini.Path());
    EXPECT_EQ(settings.ReadString("language", "langfile", "?"), english.Name());
    EXPECT_EQ(LoadLanguageFromIni(ini.Path()), english.Path());
    EXPECT_EQ(Language.GetFileName(), english.Path());
    EXPECT_EQ(Language.GetText("OK", "OK"), "OK (en)");

    // An empty LangFile stores the file the language was loaded from.
    ASSERT_TRUE(SaveLanguageToIni(ini.Path(), "/some/where/english.lng"));
    EXPECT_EQ(settings.ReadString("language", "langfile", "?"), "/some/where/english.lng");
    ASSERT_TRUE(SaveLanguageToIni(ini.Path(), QString()));
    EXPECT_EQ(settings.ReadString("language", "langfile", "?"), english.Name());

    // The settings file name set for the program is used when none is given.
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
    EXPECT_EQ(LoadLanguageFromIni(ini), ""); // no settings file

    const QString before = Language.GetFileName();
    platform::IniFile settings(ini);
    settings.WriteString("language", "langfile", "missing-english.lng");
    EXPECT_EQ(LoadLanguageFromIni(ini), ProgramFolder() + "missing-english.lng");
    settings.WriteString("language", "langfile", "\\missing-english.lng");
    EXPECT_EQ(LoadLanguageFromIni(ini), ProgramFolder() + "missing-english.lng");
    EXPECT_EQ(Language.GetFileName(), before);

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
