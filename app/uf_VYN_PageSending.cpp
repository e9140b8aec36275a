// The sending pages: TCP and HTTP GET, with the shared period and GUID.
#include "app/uf_VYN.h"

#include "app/Panel.h"
#include "app/uf_VYN_PageKit.h"

#include <QComboBox>

using namespace pagekit;

void TfVYN::BuildPageSending()
{
    // TCP.
    QGridLayout* grid = PageGrid(pnlTCP);
    grid->addWidget(Heading(pnlTCP, QStringLiteral("lblTCPSending"), QStringLiteral("Zasílání teploty přes TCP")), 0, 0,
                    1, 2);
    cbTCPType = new QComboBox(pnlTCP);
    cbTCPType->setObjectName(QStringLiteral("cbTCPType"));
    cbTCPType->addItems({QStringLiteral("Pasivní"), QStringLiteral("Aktivní")});
    cbTCPType->setCurrentIndex(0);
    grid->addWidget(Label(pnlTCP, QStringLiteral("lblTCPType"), QStringLiteral("Typ spojení")), 1, 0);
    grid->addLayout(Row(cbTCPType), 1, 1);
    grid->addWidget(Heading(pnlTCP, QStringLiteral("lblPassive"), QStringLiteral("Pasivní spojení")), 2, 0, 1, 2);
    seSourcePort = Spin(pnlTCP, QStringLiteral("seSourcePort"), 1, 65535, 10001);
    grid->addWidget(Label(pnlTCP, QStringLiteral("lblSourcePort"), QStringLiteral("Port zařízení (source)")), 3, 0);
    grid->addLayout(Row(seSourcePort), 3, 1);
    grid->addWidget(Heading(pnlTCP, QStringLiteral("lblActive"), QStringLiteral("Aktivní spojení")), 4, 0, 1, 2);
    txtRemoteIP = Edit(pnlTCP, QStringLiteral("txtRemoteIP"));
    grid->addWidget(Label(pnlTCP, QStringLiteral("lblRemoteIP"), QStringLiteral("Vzdálená IP adresa")), 5, 0);
    grid->addLayout(Row(txtRemoteIP), 5, 1);
    seRemotePort = Spin(pnlTCP, QStringLiteral("seRemotePort"), 0, 65535, 0);
    grid->addWidget(Label(pnlTCP, QStringLiteral("lblRemotePort"), QStringLiteral("Vzdálený port")), 6, 0);
    grid->addLayout(Row(seRemotePort), 6, 1);
    chKeepConn = Check(pnlTCP, QStringLiteral("chKeepConn"), QStringLiteral("Udržovat spojení"));
    grid->addWidget(chKeepConn, 7, 1);
    grid->addWidget(Heading(pnlTCP, QStringLiteral("lblTCPPeriod"), QStringLiteral("Perioda zasílání")), 8, 0);
    grid->addWidget(SharedMark(pnlTCP, QStringLiteral("imgSendingShared"), SendingHint), 8, 1, Qt::AlignLeft);
    seInterval = Spin(pnlTCP, QStringLiteral("seInterval"), 2, 3600, 10);
    grid->addWidget(Label(pnlTCP, QStringLiteral("lblInterval"), QStringLiteral("Perioda zasílání (sec)")), 9, 0);
    grid->addLayout(Row(seInterval), 9, 1);
    grid->setRowStretch(10, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{txtRemoteIP, seRemotePort, chKeepConn})
        w->setEnabled(false);

    // HTTP GET.
    grid = PageGrid(pnlGET);
    grid->addWidget(Heading(pnlGET, QStringLiteral("lblGetParams"), QStringLiteral("Parametry")), 0, 0, 1, 2);
    chEnableURLGet = Check(pnlGET, QStringLiteral("chEnableURLGet"), QStringLiteral("Zasílat teplotu na HTTP server"));
    grid->addWidget(chEnableURLGet, 1, 0, 1, 2);
    txtGetURL = Edit(pnlGET, QStringLiteral("txtGetURL"));
    cmdHTTP_GIP = AtButton(pnlGET, QStringLiteral("cmdHTTP_GIP"),
                           QStringLiteral("Zjistit automaticky IP adresu serveru (musí být dostupný)"));
    grid->addWidget(Label(pnlGET, QStringLiteral("lblGetURL"), QStringLiteral("URL cesta")), 2, 0);
    auto* urlRow = new QHBoxLayout;
    urlRow->setSpacing(4);
    urlRow->addWidget(txtGetURL, 1);
    urlRow->addWidget(cmdHTTP_GIP);
    grid->addLayout(urlRow, 2, 1);
    txtHttpIP = Edit(pnlGET, QStringLiteral("txtHttpIP"));
    grid->addWidget(Label(pnlGET, QStringLiteral("lblHttpIP"), QStringLiteral("IP adresa serveru")), 3, 0);
    grid->addLayout(Row(txtHttpIP), 3, 1);
    grid->addWidget(SharedMark(pnlGET, QStringLiteral("imgSendingShared2"), SendingHint), 4, 1, Qt::AlignLeft);
    seInterval2 = Spin(pnlGET, QStringLiteral("seInterval2"), 2, 3600, 10);
    grid->addWidget(Label(pnlGET, QStringLiteral("lblInterval2"), QStringLiteral("Perioda zasílání (sec)")), 5, 0);
    grid->addLayout(Row(seInterval2), 5, 1);
    txtID = Edit(pnlGET, QStringLiteral("txtID"));
    txtID->setMaxLength(40);
    grid->addWidget(Label(pnlGET, QStringLiteral("lblID"), QStringLiteral("GUID")), 6, 0);
    grid->addWidget(txtID, 6, 1);
    grid->setRowStretch(7, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{txtGetURL, cmdHTTP_GIP, txtHttpIP})
        w->setEnabled(false);
}
