// The program as a whole: its start-up checks run as a separate process,
// its error display, and how the main window looks.
#include "MainWindowFixture.h"

#include "app/VYN16App.h"
#include "platform/Jpeg.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
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
    EXPECT_TRUE(run.err.contains("line")) << run.err.toStdString();
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
    w.UpdateDeviceState();
    QCoreApplication::processEvents();
    const QImage device = w.grab().toImage();
    device.save(QCoreApplication::applicationDirPath() + "/VYN16-device.png");
    EXPECT_GE(DistinctColours(device), 8);
}
