// The main window's components and where they stand.
#include "app/uf_VYN.h"

#include "app/Panel.h"
#include "app/VYN16App.h"
#include "app/uConst.h"
#include "app/uf_VYN_PageKit.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "platform/Exception.h"
#include "platform/Jpeg.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

namespace {

using pagekit::MakeFrame;

constexpr int TopMenuWidth = 150;
constexpr int StripHeight = 24;
constexpr int LMenuWidth = 202;
constexpr int LMenuItemHeight = 28;
constexpr int ButtonWidth = 140;
constexpr int ButtonHeight = 22;
constexpr int MeritInterval = 3000;

const QString MainPicture = QStringLiteral(":/pictures/vyn_main.jpg");

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, const QColor& color)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    return label;
}

void SetBold(QWidget* widget, qreal pointSizeFactor = 1.0)
{
    QFont font = widget->font();
    font.setBold(true);
    if (pointSizeFactor != 1.0 && font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * pointSizeFactor);
    widget->setFont(font);
}

TfrmLMenuH* MakeLMenu(QWidget* parent, QVBoxLayout* layout, const QString& name, const QString& caption)
{
    auto* item = MakeFrame<TfrmLMenuH>(parent, name, caption, QString(), QSize(LMenuWidth, LMenuItemHeight));
    layout->addWidget(item);
    return item;
}

// An empty settings page; every page fills the same area of the holder.
TPanel* MakePage(TPanel* holder, QGridLayout* layout, const QString& name)
{
    auto* page = new TPanel(holder, name, clWhite);
    layout->addWidget(page, 1, 0);
    return page;
}

} // namespace

void TfVYN::BuildLayout()
{
    setWindowTitle(QStringLiteral("VYN - nastavení"));
    resize(760, 540);
    setMinimumSize(720, 500);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, clWhite);
    setPalette(pal);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // Top menu: the device searches and the IP assignment.
    pnlHeader = new TPanel(this, QStringLiteral("pnlHeader"), clButtonNormal);
    pnlHeader->setFixedHeight(30);
    auto* header = new QHBoxLayout(pnlHeader);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(0);
    const QSize topMenuSize(TopMenuWidth, 30);
    menuIP = MakeFrame<TfrmTlacMenu>(pnlHeader, QStringLiteral("menuIP"), QStringLiteral("Vyhledat podle &IP"),
                                     QStringLiteral("Vyhledat zařízení podle známé IP adresy  "), topMenuSize);
    menuMAC = MakeFrame<TfrmTlacMenu>(pnlHeader, QStringLiteral("menuMAC"), QStringLiteral("Vyhledat podle &MAC"),
                                      QStringLiteral("Vyhledat zařízení podle známé MAC adresy  "), topMenuSize);
    menuSetIP = MakeFrame<TfrmTlacMenu>(pnlHeader, QStringLiteral("menuSetIP"), QStringLiteral("Na&stavit IP"),
                                        QStringLiteral("Změnit síťové nastavení zařízení  "), topMenuSize);
    menuSetIP->OnClick = [this](QObject*) { Guarded([this] { menuSetIPTlacClick(); }); };
    for (TfrmTlacMenu* item : {menuIP, menuMAC, menuSetIP}) {
        SetBold(item);
        header->addWidget(item);
    }
    header->addStretch(1);
    root->addWidget(pnlHeader);

    // Title strip: the hint of the top-menu button under the mouse, and the
    // network adapter in use.
    pnlTitulek = new TPanel(this, QStringLiteral("pnlTitulek"), clMenuSelected);
    pnlTitulek->setFixedHeight(StripHeight);
    auto* title = new QHBoxLayout(pnlTitulek);
    title->setContentsMargins(8, 0, 3, 0);
    title->setSpacing(6);
    lblTitulek = MakeLabel(pnlTitulek, QStringLiteral("lblTitulek"), QString(), clButtonHover);
    lblCurrentAdapter = MakeLabel(pnlTitulek, QStringLiteral("lblCurrentAdapter"), QString(), clButtonHover);
    lblCurrentAdapter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cmdSelAdapter = MakeFrame<TfrmTlacitko>(pnlTitulek, QStringLiteral("cmdSelAdapter"), QStringLiteral("V"),
                                            QStringLiteral("Vybrat síťový adaptér"), QSize(20, 18));
    title->addWidget(lblTitulek, 1);
    title->addWidget(lblCurrentAdapter, 1);
    title->addWidget(cmdSelAdapter);
    root->addWidget(pnlTitulek);

    pmSelAdapt = new QMenu(this);
    pmSelAdapt->setObjectName(QStringLiteral("pmSelAdapt"));
    mSelAdapt = pmSelAdapt->addAction(QStringLiteral("<default>"));
    mSelAdapt->setObjectName(QStringLiteral("mSelAdapt"));
    mSelAdapt->setData(0u);
    connect(mSelAdapt, &QAction::triggered, this, [this] { mSelAdaptClick(mSelAdapt); });

    // The client area shows either the no-device panel or the device panel.
    pnlClient = new TPanel(this, QStringLiteral("pnlClient"), clWhite);
    auto* client = new QGridLayout(pnlClient);
    client->setContentsMargins(0, 0, 0, 0);
    root->addWidget(pnlClient, 1);

    pnlNone = new TPanel(pnlClient, QStringLiteral("pnlNone"), clWhite);
    auto* none = new QVBoxLayout(pnlNone);
    none->setContentsMargins(16, 16, 16, 16);
    none->setSpacing(18);
    imgVYN = new QLabel(pnlNone);
    imgVYN->setObjectName(QStringLiteral("imgVYN"));
    imgVYN->setAlignment(Qt::AlignCenter);
    try {
        imgVYN->setPixmap(QPixmap::fromImage(platform::LoadJpegFile(MainPicture)));
    } catch (const Exception& e) {
        // The window works without its picture.
        qWarning("%s", qUtf8Printable(e.Message()));
    }
    lblNone = MakeLabel(pnlNone, QStringLiteral("lblNone"),
                        QStringLiteral("Vyhledejte zařízení podle jeho IP adresy nebo MAC adresy..."), clButtonHover);
    lblNone->setAlignment(Qt::AlignCenter);
    lblNone->setWordWrap(true);
    SetBold(lblNone, 1.2);
    none->addStretch(1);
    none->addWidget(imgVYN);
    none->addWidget(lblNone);
    none->addStretch(1);
    client->addWidget(pnlNone, 0, 0);

    pnlDevSetup = new TPanel(pnlClient, QStringLiteral("pnlDevSetup"), clWhite);
    client->addWidget(pnlDevSetup, 0, 0);
    auto* devSetup = new QVBoxLayout(pnlDevSetup);
    devSetup->setContentsMargins(0, 0, 0, 0);
    devSetup->setSpacing(0);

    // The device strip: whose settings these are, and closing them.
    pnlSetupLista = new TPanel(pnlDevSetup, QStringLiteral("pnlSetupLista"), clButtonHover);
    pnlSetupLista->setFixedHeight(StripHeight);
    auto* lista = new QHBoxLayout(pnlSetupLista);
    lista->setContentsMargins(8, 0, 3, 0);
    lblMACTitle = MakeLabel(pnlSetupLista, QStringLiteral("lblMACTitle"), QString(), clWhite);
    lblMACTitle->setToolTip(QStringLiteral("MAC adresa nastavovaného zařízení"));
    SetBold(lblMACTitle);
    cmdCloseSet = MakeFrame<TfrmTlacitko>(pnlSetupLista, QStringLiteral("cmdCloseSet"), QStringLiteral("X"),
                                          QStringLiteral("Zrušit nastavení"), QSize(20, 18));
    lista->addWidget(lblMACTitle, 1);
    lista->addWidget(cmdCloseSet);
    devSetup->addWidget(pnlSetupLista);

    auto* body = new QHBoxLayout;
    body->setSpacing(0);
    devSetup->addLayout(body, 1);

    // Left page menu, with the temperature display at its foot.
    pnlLMenu = new TPanel(pnlDevSetup, QStringLiteral("pnlLMenu"), clLMenuNormal);
    pnlLMenu->setFixedWidth(LMenuWidth);
    auto* lmenu = new QVBoxLayout(pnlLMenu);
    lmenu->setContentsMargins(0, 0, 0, 0);
    lmenu->setSpacing(0);
    lmTempSet = MakeLMenu(pnlLMenu, lmenu, QStringLiteral("lmTempSet"), QStringLiteral("Nastavení teploměru"));
    SetBold(lmTempSet);
    lmCommon = MakeLMenu(pnlLMenu, lmenu, QStringLiteral("lmCommon"), QStringLiteral("  Obecné"));
    lmEmail = MakeLMenu(pnlLMenu, lmenu, QStringLiteral("lmEmail"), QStringLiteral("  E-mail"));
    lmSNMP = MakeLMenu(pnlLMenu, lmenu, QStringLiteral("lmSNMP"), QStringLiteral("  SNMP"));
    lmTCP = MakeLMenu(pnlLMenu, lmenu, QStringLiteral("lmTCP"), QStringLiteral("  TCP"));
    lmGet = MakeLMenu(pnlLMenu, lmenu, QStringLiteral("lmGet"), QStringLiteral("  HTTP GET"));
    lmSoap = MakeLMenu(pnlLMenu, lmenu, QStringLiteral("lmSoap"), QStringLiteral("  SOAP"));
    lmNetSet = MakeLMenu(pnlLMenu, lmenu, QStringLiteral("lmNetSet"), QStringLiteral("Síťové nastavení"));
    SetBold(lmNetSet);
    lmenu->addStretch(1);

    pnlMerit = new TPanel(pnlLMenu, QStringLiteral("pnlMerit"), clButtonHover);
    pnlMerit->setFixedHeight(72);
    auto* merit = new QVBoxLayout(pnlMerit);
    merit->setContentsMargins(8, 6, 8, 8);
    merit->setSpacing(4);
    lblMerit = MakeLabel(pnlMerit, QStringLiteral("lblMerit"), QString(), clWhite);
    lblMerit->setAlignment(Qt::AlignCenter);
    QFont meritFont(QStringLiteral("Arial"));
    meritFont.setPixelSize(19);
    lblMerit->setFont(meritFont);
    lblMerit->hide();
    cmdMerit = MakeFrame<TfrmTlacitko>(pnlMerit, QStringLiteral("cmdMerit"), QStringLiteral("Měřit"),
                                       QStringLiteral("Měřit teplotu zařízení VYN"), QSize(ButtonWidth, ButtonHeight));
    cmdMerit->hide();
    merit->addWidget(lblMerit, 1);
    merit->addWidget(cmdMerit, 0, Qt::AlignHCenter);
    lmenu->addWidget(pnlMerit);
    body->addWidget(pnlLMenu);

    auto* right = new QVBoxLayout;
    right->setSpacing(0);
    body->addLayout(right, 1);

    // The settings holder covers the prompt of pnlSettings once an item is
    // chosen.
    pnlSettings = new TPanel(pnlDevSetup, QStringLiteral("pnlSettings"), clWhite);
    pnlSettings->SetCaption(QStringLiteral("Vyberte položku v levém menu ..."));
    pnlSettings->SetFontColor(clButtonHover);
    auto* settings = new QGridLayout(pnlSettings);
    settings->setContentsMargins(8, 8, 8, 8);
    right->addWidget(pnlSettings, 1);

    pnlSettingsHold = new TPanel(pnlSettings, QStringLiteral("pnlSettingsHold"), clWhite);
    settings->addWidget(pnlSettingsHold, 0, 0);
    auto* hold = new QGridLayout(pnlSettingsHold);
    hold->setContentsMargins(0, 0, 0, 0);
    hold->setSpacing(6);
    hold->setRowStretch(1, 1);
    pnlSettingsCaption = new TPanel(pnlSettingsHold, QStringLiteral("pnlSettingsCaption"), clLMenuSelected);
    pnlSettingsCaption->SetFontColor(clWhite);
    pnlSettingsCaption->SetAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pnlSettingsCaption->setFixedHeight(StripHeight);
    SetBold(pnlSettingsCaption);
    hold->addWidget(pnlSettingsCaption, 0, 0);
    pnlCommon = MakePage(pnlSettingsHold, hold, QStringLiteral("pnlCommon"));
    pnlEmail = MakePage(pnlSettingsHold, hold, QStringLiteral("pnlEmail"));
    pnlSNMP = MakePage(pnlSettingsHold, hold, QStringLiteral("pnlSNMP"));
    pnlTCP = MakePage(pnlSettingsHold, hold, QStringLiteral("pnlTCP"));
    pnlGET = MakePage(pnlSettingsHold, hold, QStringLiteral("pnlGET"));
    pnlSOAP = MakePage(pnlSettingsHold, hold, QStringLiteral("pnlSOAP"));
    pnlSoapDoc = MakePage(pnlSettingsHold, hold, QStringLiteral("pnlSoapDoc"));
    pnlNetSet = MakePage(pnlSettingsHold, hold, QStringLiteral("pnlNetSet"));

    // Holds the place of the IP settings frame.
    IPSet = new Tfrm_IPSet(pnlNetSet);
    IPSet->setObjectName(QStringLiteral("IPSet"));
    IPSet->setGeometry(16, 16, 248, 132);
    // The SOAP page first: the settings pages bind its period and GUID copies.
    BuildSoapPages();
    BuildSettingsPages();

    pnlButtons = new TPanel(pnlDevSetup, QStringLiteral("pnlButtons"), clMenuSelected);
    pnlButtons->setFixedHeight(36);
    auto* buttons = new QHBoxLayout(pnlButtons);
    buttons->setContentsMargins(8, 7, 8, 7);
    buttons->setSpacing(8);
    buttons->addStretch(1);
    const QSize buttonSize(ButtonWidth, ButtonHeight);
    cmdDefaultVal = MakeFrame<TfrmTlacitko>(pnlButtons, QStringLiteral("cmdDefaultVal"),
                                            QStringLiteral("Výchozí &hodnoty"),
                                            QStringLiteral("Výchozí nastavení určené pro zařízení."), buttonSize);
    cmdLoadVals = MakeFrame<TfrmTlacitko>(pnlButtons, QStringLiteral("cmdLoadVals"),
                                          QStringLiteral("Načíst ze &zařízení"),
                                          QStringLiteral("Načte ze zařízení aktuální nastavení."), buttonSize);
    cmdSaveVals = MakeFrame<TfrmTlacitko>(pnlButtons, QStringLiteral("cmdSaveVals"), QStringLiteral("&Nastavit"),
                                          QStringLiteral("Uloží nastavení do zařízení."), buttonSize);
    for (TfrmTlacitko* button : {cmdDefaultVal, cmdLoadVals, cmdSaveVals})
        buttons->addWidget(button);
    right->addWidget(pnlButtons);

    timMerit = new QTimer(this);
    timMerit->setObjectName(QStringLiteral("timMerit"));
    timMerit->setInterval(MeritInterval);
    tcpMerit = new TTcpClient(this, QStringLiteral("tcpMerit"));

    BuildMeasure();
    BuildCommands();
}
