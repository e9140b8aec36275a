// The program as a whole: its start-up checks run as a separate process,
// its error display, and how the main window looks.
#include "MainWindowFixture.h"
#include "tests/app/DeviceIdentity.h"

#include "FrameEvents.h"
#include "app/VYN16App.h"
#include "app/uConst.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "platform/Jpeg.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>

namespace {

struct RunResult {
    bool finished = false;
    int exitCode = -1;
    QString err;
};

// Runs the program in Folder with Env. A run that has not ended after the
// wait is killed and reported as not finished.
RunResult RunProgram(const QString& folder, const QProcessEnvironment& env, int waitMs = 30000)
{
    QProcess process;
    process.setProgram(QStringLiteral(VYN16_PATH));
    process.setWorkingDirectory(folder);
    process.setProcessEnvironment(env);
    process.start();
    RunResult result;
    if (!process.waitForStarted(30000))
        return result;
    result.finished = process.waitForFinished(waitMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(30000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QProcessEnvironment Offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

int DistinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

} // namespace

TEST(VYN16, WithoutADisplayItSaysSoInOneSentence)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    const RunResult run = RunProgram(QDir::tempPath(), env);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("graphical display")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("xvfb-run -a build/bin/VYN16")) << run.err.toStdString();
}

TEST(VYN16, ADisplayThatDoesNotAnswerIsNamedInOneSentence)
{
    // A display number nobody serves: no socket and no lock file for it.
    int number = 90;
    while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))
           || QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
        ++number;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(number));
    const RunResult run = RunProgram(QDir::tempPath(), env);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("\":%1\"").arg(number))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("xvfb-run -a build/bin/VYN16")) << run.err.toStdString();
}

TEST_F(MainWindowTest, TheProgramEndsWithTheTextOfAFaultyMappingDocument)
{
    for (const MappingFault& fault : MappingFaults()) {
        WriteFile(dir.filePath("VYN.dmi"), fault.document);
        const RunResult run = RunProgram(dir.path(), Offscreen());
        ASSERT_TRUE(run.finished) << fault.name;
        EXPECT_NE(run.exitCode, 0) << fault.name;
        EXPECT_TRUE(run.err.contains("VYN: " + fault.text)) << fault.name << ": " << run.err.toStdString();
    }
    WriteFile(dir.filePath("VYN.dmi"), "<root>");
    const RunResult run = RunProgram(dir.path(), Offscreen());
    ASSERT_TRUE(run.finished);
    EXPECT_NE(run.exitCode, 0);
    // The parser's failure comes worded for the operator, its position kept.
    EXPECT_TRUE(run.err.contains(QString::fromUtf8("VYN: Chyba v XML: "))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QString::fromUtf8("(řádek 1, sloupec 6)"))) << run.err.toStdString();
}

TEST(ErrorDisplay, ShowsTheTextOnStderrAndInAnErrorBoxTitledWithTheApplication)
{
    const QString oldName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("VYN"));
    QString text, caption;
    unsigned flags = 0;
    int boxes = 0;
    platform::SetMessageBoxHook([&](QWidget*, const QString& t, const QString& c, unsigned f) {
        ++boxes, text = t, caption = c, flags = f;
        return platform::IDOK;
    });

    testing::internal::CaptureStderr();
    ReportError(QString::fromUtf8("Chyba při čtení"), true);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "VYN: Chyba při čtení\n");
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(text, QString::fromUtf8("Chyba při čtení"));
    EXPECT_EQ(caption, "VYN");
    EXPECT_EQ(flags, 16u);

    // Nobody could answer a box on the offscreen platform: stderr only.
    EXPECT_FALSE(PlatformShowsWindows());
    testing::internal::CaptureStderr();
    ShowException(Exception(QStringLiteral("Wrong device type.")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "VYN: Wrong device type.\n");
    EXPECT_EQ(boxes, 1);

    // A platform failure in the operator's language, the system's detail as it came.
    testing::internal::CaptureStderr();
    ShowException(EPlatformError(EPlatformError::SettingsNotWritable, {"/tmp/%2/vyn.ini", "Permission denied"}));
    EXPECT_EQ(QString::fromUtf8(testing::internal::GetCapturedStderr()),
              QString::fromUtf8("VYN: Nastavení nelze uložit do souboru /tmp/%2/vyn.ini (Permission denied).\n"));
    EXPECT_EQ(PlatformErrorText(EPlatformError(EPlatformError::FileNotRead, {"/a b", "Is a directory"})),
              QString::fromUtf8("Soubor \"/a b\" nelze přečíst. Is a directory"));

    platform::SetMessageBoxHook(nullptr);
    QCoreApplication::setApplicationName(oldName);
}

TEST_F(MainWindowTest, TheWindowRendersWithItsPicture)
{
    TfVYN w(nullptr, ini);
    w.show();
    QCoreApplication::processEvents();
    const QImage shot = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(shot.isNull());
    shot.save(QCoreApplication::applicationDirPath() + "/VYN16-no-device.png");
    EXPECT_GE(DistinctColours(shot), 20);

    // The picture is shown as decoded, pixel for pixel.
    const QImage picture = platform::LoadJpegFile(":/pictures/vyn_main.jpg").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(w.imgVYN->pixmap().size(), picture.size());
    const QRect shown = w.imgVYN->contentsRect();
    const QPoint origin = w.imgVYN->mapTo(&w, shown.topLeft() + QPoint((shown.width() - picture.width()) / 2,
                                                                       (shown.height() - picture.height()) / 2));
    int matching = 0, samples = 0;
    for (int y = 5; y < picture.height(); y += 20)
        for (int x = 5; x < picture.width(); x += 20, ++samples)
            matching += shot.pixel(origin + QPoint(x, y)) == picture.pixel(x, y);
    EXPECT_EQ(matching, samples);

    // The device panel renders too.
    w.FDeviceLoaded = true;
    GiveSupportedIdentity(w);
    w.UpdateDeviceState();
    QCoreApplication::processEvents();
    const QImage device = w.grab().toImage();
    device.save(QCoreApplication::applicationDirPath() + "/VYN16-device.png");
    EXPECT_GE(DistinctColours(device), 8);
}

TEST_F(MainWindowTest, EveryButtonStaysVisibleOnItsPanelAndTopMenuHintsStayOutOfTheTitle)
{
    TfVYN w(nullptr, ini);
    int buttons = 0, menus = 0;
    for (TNavFrame* frame : w.findChildren<TNavFrame*>()) {
        const auto* panel = qobject_cast<TPanel*>(frame->parentWidget());
        if (!panel || qobject_cast<TfrmLMenuH*>(frame))
            continue;
        const std::string name = frame->objectName().toStdString();
        SendEnter(frame);
        EXPECT_NE(frame->Tlac->Color().rgb(), panel->Color().rgb()) << name << " under the mouse";
        SendLeave(frame);
        if (qobject_cast<TfrmTlacitko*>(frame)) {
            ++buttons;
            EXPECT_NE(frame->Tlac->Color().rgb(), panel->Color().rgb()) << name << " after the mouse left";
        }
        if (qobject_cast<TfrmTlacMenu*>(frame)) {
            ++menus;
            frame->Tlac->setProperty("Hint", QStringLiteral("from a language file"));
            EXPECT_FALSE(frame->Hint().isEmpty()) << name;
            EXPECT_TRUE(frame->toolTip().isEmpty()) << name;
            EXPECT_TRUE(frame->Tlac->toolTip().isEmpty()) << name;
        }
    }
    EXPECT_GE(buttons, 6);
    EXPECT_EQ(menus, 3);
    // The two buttons on the dark strips; elsewhere the hover colour is the design's.
    SendEnter(w.cmdMerit);
    EXPECT_NE(w.cmdMerit->Tlac->Color().rgb(), w.pnlMerit->Color().rgb());
    SendEnter(w.cmdCloseSet);
    EXPECT_NE(w.cmdCloseSet->Tlac->Color().rgb(), w.pnlSetupLista->Color().rgb());
    SendEnter(w.cmdSaveVals);
    EXPECT_EQ(w.cmdSaveVals->Tlac->Color(), clButtonHover);
    // A command button keeps its hint as a tool tip.
    w.cmdSaveVals->SetHint(QStringLiteral("h"));
    EXPECT_EQ(w.cmdSaveVals->toolTip(), "h");
}
