// The common page: the device's name and its web server's port.
#include "app/uf_VYN.h"

#include "app/Panel.h"
#include "app/uf_VYN_PageKit.h"

using namespace pagekit;

void TfVYN::BuildPageCommon()
{
    QGridLayout* grid = PageGrid(pnlCommon);
    grid->addWidget(Heading(pnlCommon, QStringLiteral("lblIdentifikace"), QStringLiteral("Identifikace")), 0, 0, 1, 2);
    txtVYNName = Edit(pnlCommon, QStringLiteral("txtVYNName"), QStringLiteral("VYN"));
    grid->addWidget(Label(pnlCommon, QStringLiteral("lblVYNName"), QStringLiteral("Jméno VYN")), 1, 0);
    grid->addWidget(txtVYNName, 1, 1);
    grid->addWidget(Heading(pnlCommon, QStringLiteral("lblWebPages"), QStringLiteral("Webové stránky")), 2, 0, 1, 2);
    seWebPort = Spin(pnlCommon, QStringLiteral("seWebPort"), 0, 65535, 80);
    grid->addWidget(Label(pnlCommon, QStringLiteral("lblWebPort"), QStringLiteral("Port webu")), 3, 0);
    grid->addLayout(Row(seWebPort), 3, 1);
    grid->setRowStretch(4, 1);
}
