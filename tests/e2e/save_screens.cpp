// The save and set-IP roads on a real display, as an operator goes them: search
// by IP, load, type a new name and SOAP URL, save; then the wizard from the
// menu to the device's new address. Run in the PC's namespace of a bench:
// save_screens DIR. Saves the settings page after the reload as DIR/saved.png
// and the wizard's finish page as DIR/finish.png; prints the name and URL the
// pages show, whether the wizard's IP page had the focus in its address, and
// where the device was loaded.
#include "app/uf_IPWiz.h"
#include "app/uf_InputIP.h"
#include "app/uf_VYN.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "lang/uLanguageForms.h"
#include "link/u_ARPTx.h"
#include "link/uf_DataSender.h"
#include "platform/MessageBox.h"
#include "tests/link/MessageTaker.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
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
    ARPManager().GetIPTable();
    TfVYN w(nullptr, dir + QStringLiteral("/vyn.ini"));
    w.move(0, 0);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 3;

    // Any question or message of the road counts as a failure of the run.
    int boxes = 0;
    platform::SetMessageBoxHook([&](QWidget*, const QString&, const QString&, unsigned) {
        ++boxes;
        return int(platform::IDYES);
    });
    TMessageTaker taker;
    TfInputIP::ModalHook = [&](TfInputIP& dialog) {
        dialog.txtIP->selectAll();
        QTest::keyClicks(dialog.txtIP, QStringLiteral("10.213.0.2"));
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    };

    w.menuIP->TlacClick();
    if (!w.FDeviceLoaded)
        return 4;
    w.LMenuClick(w.lmCommon);
    w.txtVYNName->selectAll();
    QTest::keyClicks(w.txtVYNName, QStringLiteral("Obyvak"));
    w.LMenuClick(w.lmSoap);
    // On its box: a wide check box takes clicks only on the box and its text.
    QTest::mouseClick(w.chEnableSOAP, Qt::LeftButton, {}, QPoint(8, w.chEnableSOAP->height() / 2));
    if (!w.chEnableSOAP->isChecked())
        return 6;
    w.txtSOAP_URL->selectAll();
    QTest::keyClicks(w.txtSOAP_URL, QStringLiteral("http://10.213.0.1/teplota.php"));
    // A document without a body is not stored: give it one, as a file would.
    w.SetSoapBody("<teplota>%t</teplota>");
    w.cmdSaveVals->TlacClick();
    if (!w.FDeviceLoaded || boxes != 0 || !taker.Messages.empty())
        return 5;

    w.LMenuClick(w.lmCommon);
    w.repaint();
    QGuiApplication::sync();
    QGuiApplication::primaryScreen()->grabWindow(0).save(dir + QStringLiteral("/saved.png"));
    std::printf("%s\n%s\n", qPrintable(w.txtVYNName->text()), qPrintable(w.txtSOAP_URL->text()));

    TfSetIPWiz::ModalHook = [&](TfSetIPWiz& wizard) {
        // Shown and activated, as its modal loop would.
        wizard.show();
        wizard.activateWindow();
        if (!QTest::qWaitForWindowActive(&wizard))
            std::printf("not active\n");
        QTest::keyClicks(wizard.txtMAC, QStringLiteral("02-76-79-6e-00-02"));
        QTest::keyClick(wizard.txtMAC, Qt::Key_Return);
        std::printf("focus %d\n", QApplication::focusWidget() == wizard.IPSet->txtIP);
        wizard.IPSet->txtIP->selectAll();
        QTest::keyClicks(wizard.IPSet->txtIP, QStringLiteral("10.213.0.60"));
        QTest::keyClick(wizard.IPSet->txtIP, Qt::Key_Return);
        wizard.repaint();
        QGuiApplication::sync();
        wizard.screen()->grabWindow(wizard.winId()).save(dir + QStringLiteral("/finish.png"));
        QTest::keyClick(wizard.cmdFinish, Qt::Key_Escape);
    };
    QTest::mouseClick(w.menuSetIP->Tlac, Qt::LeftButton);
    std::printf("%s %d %d\n", qPrintable(TARPManager::IPToStr(w.FDevIP)), w.pnlDevSetup->isVisible(), boxes);
    return 0;
}
