// Switches the main window to English and back with the flags on a real
// display, saving a screenshot of each: lang_screens DIR. Prints the place
// of the top menu and the title strip on the screen.
#include "app/Panel.h"
#include "app/uf_VYN.h"
#include "lang/uLanguageForms.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    InstallWindowTranslation();
    TfVYN w(nullptr, dir + QStringLiteral("/vyn.ini"));
    w.move(0, 0);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 3;
    const auto shoot = [&](const QString& name) {
        w.repaint();
        QGuiApplication::sync();
        QTest::qWait(50);
        QGuiApplication::primaryScreen()->grabWindow(0).save(dir + u'/' + name);
    };
    shoot(QStringLiteral("cesky.png"));
    QTest::mouseClick(w.Image3, Qt::LeftButton);
    shoot(QStringLiteral("english.png"));
    QTest::mouseClick(w.Image2, Qt::LeftButton);
    shoot(QStringLiteral("cesky2.png"));
    const QPoint top = w.pnlHeader->mapToGlobal(QPoint(0, 0));
    std::printf("%d %d %d %d\n", top.x(), top.y(), w.pnlHeader->width(),
                w.pnlHeader->height() + w.pnlTitulek->height());
    return 0;
}
