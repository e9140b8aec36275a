// The set-IP road on a real display: the test runs this program again on a
// virtual X server inside the bench's PC namespace, where it goes the road
// from the main window's button through the wizard to the loaded device.
#include "app/Panel.h"
#include "app/XvfbRun.h"
#include "app/uf_IPWiz.h"
#include "app/uf_VYN.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_TlacMenu.h"
#include "lang/uLanguageForms.h"
#include "link/u_ARPTx.h"
#include "platform/MessageBox.h"
#include "support/NetBench.h"
#include "support/SimDevice.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace {

// On the display: DIR gets a screenshot of the finish page; prints whether
// the IP page had the focus in its address, the questions asked, and where
// the device was loaded.
int Road(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    InstallWindowTranslation();
    ARPManager().GetIPTable();
    TfVYN window(nullptr, dir + QStringLiteral("/vyn.ini"));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 3;
    platform::SetMessageBoxHook([](QWidget*, const QString& text, const QString&, unsigned) {
        std::printf("%s\n", qPrintable(text));
        return int(platform::IDYES);
    });
    TfSetIPWiz::ModalHook = [&](TfSetIPWiz& w) {
        // Shown and activated, as its modal loop would.
        w.show();
        w.activateWindow();
        if (!QTest::qWaitForWindowActive(&w))
            std::printf("not active\n");
        QTest::keyClicks(w.txtMAC, QStringLiteral("02-76-79-6e-00-02"));
        QTest::keyClick(w.txtMAC, Qt::Key_Return);
        std::printf("focus %d\n", QApplication::focusWidget() == w.IPSet->txtIP);
        w.IPSet->txtIP->selectAll();
        QTest::keyClicks(w.IPSet->txtIP, QStringLiteral("10.213.0.60"));
        QTest::keyClick(w.IPSet->txtIP, Qt::Key_Return);
        w.repaint();
        QGuiApplication::sync();
        w.screen()->grabWindow(0).save(dir + QStringLiteral("/finish.png"));
        QTest::keyClick(w.cmdFinish, Qt::Key_Escape);
    };
    QTest::mouseClick(window.menuSetIP->Tlac, Qt::LeftButton);
    std::printf("%s %d\n", qPrintable(TARPManager::IPToStr(window.FDevIP)), window.pnlDevSetup->isVisible());
    return 0;
}

} // namespace

TEST(IPWizardOnXvfb, WholeRoadToTheDeviceViewAtTheNewAddress)
{
    if (!NetBench::IsRoot())
        GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";
    NetBench bench("wizx");
    SimDevice sim(bench);
    QTemporaryDir dir;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    XvfbRun run;
    {
        NetBench::Entered pc(bench.PcNamespace());
        run = RunOnXvfb(self.c_str(), dir.path(), 120000);
    }
    ASSERT_RAN_ON_XVFB(run);
    EXPECT_EQ(run.Out, QStringLiteral("focus 1\nChcete toto zařízení nastavit?\n10.213.0.60 1\n"));
    EXPECT_EQ(sim.Address(), "10.213.0.60/24 0.0.0.0");
    // On screen: the frame around the wizard's picture, in $408000.
    const QImage shot(dir.filePath(QStringLiteral("finish.png")));
    int frame = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            frame += shot.pixel(x, y) == qRgb(0x00, 0x80, 0x40);
    EXPECT_GE(frame, 2 * (172 + 233));
}

int main(int argc, char** argv)
{
    if (argc == 2 && argv[1][0] == '/')
        return Road(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
