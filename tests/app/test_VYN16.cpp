// The program as a whole: its start-up checks run as a separate process,
// its error display, and how the main window looks.
#include "MainWindowFixture.h"
#include "tests/app/DeviceIdentity.h"

#include "FrameEvents.h"
#include "app/VYN16App.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "platform/Jpeg.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>

namespace {

// The program's exit code and error output; -1 when it did not end.
std::pair<int, QString> RunProgram(const QString& folder, const std::map<QString, QString>& env)
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : env) {
        if (value.isNull())
            e.remove(name);
        else
            e.insert(name, value);
    }
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessEnvironment(e);
    process.start(QStringLiteral(VYN16_PATH));
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(30000);
        return {-1, QString()};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

TEST(VYN16, WithoutAUsableDisplayItSaysSoInOneSentence)
{
    // A display number nobody serves: no socket and no lock file for it.
    int number = 90;
    while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))
           || QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
        ++number;
    const QString display = QStringLiteral(":%1").arg(number);
    const struct {
        QString display, expected;
    } rows[] = {{QString(), "graphical display"}, {display, '"' + display + '"'}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected.toStdString());
        const auto [code, err] =
            RunProgram(QDir::tempPath(), {{"DISPLAY", row.display}, {"WAYLAND_DISPLAY", {}}, {"QT_QPA_PLATFORM", {}}});
        EXPECT_EQ(code, 1);
        EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
        EXPECT_TRUE(err.contains(row.expected)) << err.toStdString();
        EXPECT_TRUE(err.contains("xvfb-run -a build/bin/VYN16")) << err.toStdString();
    }
}

TEST_F(MainWindowTest, TheProgramEndsWithTheTextOfAFaultyMappingDocument)
{
    std::vector<std::pair<QByteArray, QString>> rows;
    for (const MappingFault& fault : MappingFaults())
        rows.emplace_back(fault.document, "VYN: " + fault.text);
    // The parser's failure comes worded for the operator, its position kept.
    rows.emplace_back("<root>", QString::fromUtf8("VYN: Chyba v XML: "));
    rows.emplace_back("<root>", QString::fromUtf8("(řádek 1, sloupec 6)"));
    for (const auto& [document, text] : rows) {
        SCOPED_TRACE(text.toStdString());
        WriteFile(dir.filePath("VYN.dmi"), document);
        const auto [code, err] = RunProgram(dir.path(), {{"QT_QPA_PLATFORM", "offscreen"}});
        EXPECT_GT(code, 0);
        EXPECT_TRUE(err.contains(text)) << err.toStdString();
    }
}

TEST(ErrorDisplay, ShowsTheTextOnStderrAndInAnErrorBoxTitledWithTheApplication)
{
    const QString oldName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("VYN"));
    QStringList boxes;
    platform::SetMessageBoxHook([&](QWidget* owner, const QString& t, const QString& c, unsigned f) {
        boxes << t << c << QString::number(f) << QString::number(owner == nullptr);
        return platform::IDOK;
    });

    testing::internal::CaptureStderr();
    ReportError(QString::fromUtf8("Chyba při čtení"), true);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "VYN: Chyba při čtení\n");
    EXPECT_EQ(boxes, (QStringList{QString::fromUtf8("Chyba při čtení"), "VYN", "16", "1"}));

    // Nobody could answer a box on the offscreen platform: stderr only.
    EXPECT_FALSE(PlatformShowsWindows());
    testing::internal::CaptureStderr();
    ShowException(EPlatformError(EPlatformError::SettingsNotWritable, {"/tmp/%2/vyn.ini", "Permission denied"}));
    EXPECT_EQ(QString::fromUtf8(testing::internal::GetCapturedStderr()),
              QString::fromUtf8("VYN: Nastavení nelze uložit do souboru /tmp/%2/vyn.ini (Permission denied).\n"));
    EXPECT_EQ(boxes.size(), 4);
    EXPECT_EQ(PlatformErrorText(EPlatformError(EPlatformError::FileNotRead, {"/a b", "Is a directory"})),
              QString::fromUtf8("Soubor \"/a b\" nelze přečíst. Is a directory"));

    platform::SetMessageBoxHook(nullptr);
    QCoreApplication::setApplicationName(oldName);
}

TEST_F(MainWindowTest, ItShowsItsPictureAndTheButtonsOnTheDarkStripsStayVisible)
{
    TfVYN w(nullptr, ini);
    w.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.imgVYN->pixmap().size(), platform::LoadJpegFile(":/pictures/vyn_main.jpg").size());
    for (TfrmTlacitko* button : {w.cmdMerit, w.cmdCloseSet}) {
        SendEnter(button);
        EXPECT_NE(button->Tlac->Color().rgb(), Design(0x408000).rgb()) << button->objectName().toStdString();
    }
    SendEnter(w.cmdSaveVals);
    EXPECT_EQ(w.cmdSaveVals->Tlac->Color(), Design(0x408000));
    EXPECT_TRUE(w.menuIP->toolTip().isEmpty() && w.menuIP->Tlac->toolTip().isEmpty());
}
