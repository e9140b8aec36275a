// Shows the SOAP pages and the temperature display on a real display and
// saves screenshots: soap_screens DIR. Prints the display label's place.
#include "app/uf_VYN.h"
#include "tests/app/DeviceIdentity.h"
#include "app/Panel.h"
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
    w.FDeviceLoaded = true;
    GiveSupportedIdentity(w);
    w.UpdateDeviceState();
    w.pnlSettingsHold->show();
    w.SetSoapDocument("POST /Sensors.asmx HTTP/1.1\r\nHost: 10.0.0.8\r\n\r\n<t><%val0%> <%guid%></t>");
    w.lblMerit->setText(TfVYN::TemperatureText(QStringLiteral("235")));
    w.lblMerit->show();
    w.move(0, 0);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 3;
    const auto shoot = [&](QWidget* page, const QString& name) {
        w.ShowPage(page, true);
        w.repaint();
        QGuiApplication::sync();
        QGuiApplication::primaryScreen()->grabWindow(0).save(dir + u'/' + name);
    };
    shoot(w.pnlSOAP, QStringLiteral("soap.png"));
    shoot(w.pnlSoapDoc, QStringLiteral("soapdoc.png"));
    const QRect merit(w.lblMerit->mapTo(&w, QPoint(0, 0)) + w.geometry().topLeft(), w.lblMerit->size());
    std::printf("%d %d %d %d\n", merit.x(), merit.y(), merit.width(), merit.height());
    return 0;
}
