#include "lang/uLanguage.h"

#include "platform/FileRead.h"
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

// A file past the size limit is refused before it is read, and the texts
// loaded before stay; one of exactly the limit loads.
TEST(Language, AFileOverTheSizeLimitIsRefusedAndTheLoadedTextsStay)
{
    TLanguage language;
    QTemporaryDir dir;
    writeFile(dir.filePath("small.lng"), "<lang><const><A text=\"small\"/></const></lang>");
    language.LoadFromFile(dir.filePath("small.lng"));
    const QString big = dir.filePath("big.lng");
    const QByteArray head = "<lang><const><A text=\"big\"/></const>", tail = "</lang>";
    const std::pair<qint64, const char*> rows[] = {{platform::MaxOperatorFileSize + 1, "small"},
                                                   {platform::MaxOperatorFileSize, "big"}};
    for (const auto& [size, text] : rows) {
        SCOPED_TRACE(size);
        writeFile(big, head + QByteArray(size - head.size() - tail.size(), ' ') + tail);
        const bool fits = size <= platform::MaxOperatorFileSize;
        try {
            language.LoadFromFile(big);
            EXPECT_TRUE(fits) << "loaded";
        } catch (const EPlatformError& e) {
            EXPECT_FALSE(fits) << e.what();
            EXPECT_EQ(e.Kind(), EPlatformError::FileTooLarge);
            EXPECT_EQ(e.Detail(), QStringList{big});
        }
        EXPECT_EQ(language.GetText("A", "default"), text);
    }
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
