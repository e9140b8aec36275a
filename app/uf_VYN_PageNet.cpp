// The network page: the device's address frame and its current address.
#include "app/uf_VYN.h"

#include "app/Panel.h"
#include "app/uf_VYN_PageKit.h"
#include "app/ufrm_IPSet.h"

#include <QVBoxLayout>

using namespace pagekit;

void TfVYN::BuildPageNet()
{
    auto* layout = new QVBoxLayout(pnlNetSet);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(8);
    layout->addWidget(Heading(pnlNetSet, QStringLiteral("lblNetSetHeading"), QStringLiteral("Siťové nastavení zařízení")));
    IPSet->setFixedWidth(248);
    layout->addWidget(IPSet);
    lblCurrentIP = Label(pnlNetSet, QStringLiteral("lblCurrentIP"), QStringLiteral("Současná IP adresa : "));
    layout->addWidget(lblCurrentIP);
    layout->addStretch(1);
}
