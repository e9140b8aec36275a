// The set-IP road on a real X server (Xvfb): the main window, the modal
// wizard with its own conversation windows, and the device loaded at its new
// address, with a screenshot of each page. The program's windows run on
// the xcb platform inside the bench's PC namespace, so this test makes its
// own application and has a main of its own.
#include "app/uf_IPWiz.h"
#include "app/uf_VYN.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_TlacMenu.h"
#include "app/Panel.h"
#include "lang/uLanguageForms.h"
#include "link/u_ARPTx.h"
#include "model/u_DevData_Text.h"
#include "platform/MessageBox.h"
#include "support/NetBench.h"
#include "support/SimDevice.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace {

// A display number whose socket and lock are free.
int FreeDisplay()
{
    for (int n = 87; n < 200; ++n)
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) &&
            !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            return n;
    return -1;
}

// Distinct colours of a screenshot: a blank screen has one or two.
int Colours(const QImage& image)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            seen.insert(image.pixel(x, y));
    return int(seen.size());
}

// Steps that wait for a state of the windows and then act. The action is
// posted, so it runs in whatever (modal) loop is current while the steps
// go on being watched.
class Steps : public QObject
{
public:
    struct Step
    {
        const char* name;
        std::function<bool()> ready;
        std::function<void()> act;
    };

    explicit Steps(std::vector<Step> steps) : FSteps(std::move(steps))
    {
        connect(&FTimer, &QTimer::timeout, this, [this] {
            if (Next >= FSteps.size())
                return;
            Step& step = FSteps[Next];
            if (!step.ready())
                return;
            ++Next;
            QTimer::singleShot(0, this, step.act);
        });
        FTimer.start(50);
    }

    std::size_t Next = 0;
    const char* Current() const { return Next < FSteps.size() ? FSteps[Next].name : "done"; }

private:
    std::vector<Step> FSteps;
    QTimer FTimer;
};

} // namespace

TEST(IPWizardOnXvfb, WholeRoadToTheDeviceViewAtTheNewAddress)
{
    if (!NetBench::IsRoot())
        GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";

    NetBenchOptions options;
    options.devAddress = "192.168.50.7/24";
    options.devAnswersArp = false;
    NetBench bench("wizx", options);
    SimDevice sim(bench);
    NetBench::Entered pc(bench.PcNamespace());
    ARPManager().GetIPTable();

    const int display = FreeDisplay();
    ASSERT_GE(display, 0);
    QProcess server;
    server.start(xvfb, {QStringLiteral(":%1").arg(display), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForStarted());
    const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(display);
    // The server is a process, not a window: its socket tells it is up.
    for (int i = 0; i < 100 && !QFile::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(QFile::exists(socket)) << server.readAllStandardError().toStdString();

    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("DISPLAY", QStringLiteral(":%1").arg(display).toLatin1());
    int argc = 1;
    char name[] = "test_e2e_ipwiz_xvfb";
    char* argv[] = {name, nullptr};
    {
        QApplication app(argc, argv);
        InstallWindowTranslation();
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        TfVYN window(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
        window.show();

        std::vector<QString> boxes;
        platform::SetMessageBoxHook([&](QWidget*, const QString& text, const QString&, unsigned) {
            boxes.push_back(text);
            return int(platform::IDYES);
        });

        const QString shots = QDir::currentPath();
        std::vector<int> colours;
        const auto shoot = [&](const char* page) {
            const QImage image = window.screen()->grabWindow(0).toImage();
            image.save(shots + QStringLiteral("/ipwiz-%1.png").arg(QLatin1String(page)));
            colours.push_back(Colours(image));
        };
        const auto wizard = [] { return qobject_cast<TfSetIPWiz*>(QApplication::activeModalWidget()); };
        const auto onPage = [&](const char* page) {
            TfSetIPWiz* w = wizard();
            return w && w->isVisible() && !w->Busy() && w->Pages->currentWidget()->objectName() == page;
        };

        bool focusOnIP = false;
        Steps steps({
            {"main window", [&] { return window.isVisible() && window.windowHandle()->isExposed(); },
             [&] { QTest::mouseClick(window.menuSetIP->Tlac, Qt::LeftButton); }},
            {"MAC page", [&] { return onPage("pnlMAC") && wizard()->windowHandle()->isExposed(); },
             [&] {
                 shoot("mac");
                 QTest::keyClicks(wizard()->txtMAC, QStringLiteral("02-76-79-6e-00-02"));
                 QTest::keyClick(wizard()->txtMAC, Qt::Key_Return);
             }},
            {"IP page", [&] { return onPage("pnlIP"); },
             [&] {
                 shoot("ip");
                 TfSetIPWiz* w = wizard();
                 focusOnIP = QApplication::focusWidget() == w->IPSet->txtIP;
                 QTest::keyClicks(w->IPSet->txtIP, QStringLiteral("10.213.0.60"));
                 QTest::keyClick(w->IPSet->txtIP, Qt::Key_Return);
             }},
            {"finish page", [&] { return onPage("pnlFinish"); },
             [&] {
                 shoot("finish");
                 // In the PC's subnet now, the device answers ARP as any host.
                 bench.SetDevArp(true);
                 QTest::mouseClick(wizard()->cmdFinish, Qt::LeftButton);
             }},
            {"device view", [&] { return !wizard() && !window.RoadBusy(); },
             [&] {
                 shoot("device");
                 app.quit();
             }},
        });
        QTimer::singleShot(120000, &app, [&] {
            ADD_FAILURE() << "stuck before: " << steps.Current();
            std::_Exit(1);
        });
        app.exec();
        platform::SetMessageBoxHook(nullptr);

        EXPECT_TRUE(focusOnIP);
        ASSERT_EQ(colours.size(), 4u);
        for (int c : colours)
            EXPECT_GT(c, 8);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("Zařízení bylo detekováno")));
        EXPECT_EQ(boxes[1], QStringLiteral("Chcete toto zařízení nastavit?"));
        EXPECT_EQ(sim.Address(), "10.213.0.60/8 0.0.0.0");
        EXPECT_TRUE(window.FDeviceLoaded);
        EXPECT_EQ(window.FDevIP, StrToIP(QStringLiteral("10.213.0.60")));
        EXPECT_TRUE(window.pnlDevSetup->isVisibleTo(&window));
    }
    server.terminate();
    server.waitForFinished();
}
