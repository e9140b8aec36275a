// The one test main of the project. Widget tests need a QApplication, which
// must see the offscreen platform before it is made: gtest_discover_tests
// runs the binary without the test's environment.
#include <gtest/gtest.h>

#include <QtGlobal>
#ifdef VYN_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
