#include "app/uf_IPWiz.h"

#include "app/MyUtils.h"
#include "app/ufrm_IPSet.h"
#include "lang/uLanguage.h"
#include "lang/uLanguageForms.h"
#include "link/u_ARPTx.h"
#include "link/uf_DataSender.h"
#include "model/u_DevData_Text.h"
#include "platform/Exception.h"
#include "platform/Jpeg.h"
#include "platform/MessageBox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>

#include <algorithm>

namespace {

const QString WizardPicture = QStringLiteral(":/pictures/vyn_wizard.jpg");
const QString CRLF = QStringLiteral("\r\n");

QString Txt(const char16_t* Key, const char16_t* Default)
{
    return Language.GetText(QString::fromUtf16(Key), QString::fromUtf16(Default));
}

QString ExceptionText(const std::exception& e)
{
    if (const auto* own = dynamic_cast<const Exception*>(&e))
        return own->Message();
    return QString::fromUtf8(e.what());
}

QLabel* MakeLabel(QWidget* Parent, const char* Name, const QString& Text, bool Bold)
{
    auto* label = new QLabel(Text, Parent);
    label->setObjectName(QLatin1String(Name));
    label->setTextFormat(Qt::PlainText);
    if (Bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

QPushButton* MakeButton(QWidget* Parent, const char* Name, const QString& Text, const QRect& Bounds)
{
    auto* button = new QPushButton(Text, Parent);
    button->setObjectName(QLatin1String(Name));
    button->setGeometry(Bounds);
    // Enter belongs to the page's default button only, whatever has focus.
    button->setAutoDefault(false);
    return button;
}

QWidget* MakePage(QStackedWidget* Stack, const char* Name)
{
    auto* page = new QWidget(Stack);
    page->setObjectName(QLatin1String(Name));
    Stack->addWidget(page);
    return page;
}

} // namespace

std::function<void(TfSetIPWiz&)> TfSetIPWiz::ModalHook;

// Marks a conversation of the wizard for the life of a handler.
class TfSetIPWiz::TBusy
{
public:
    explicit TBusy(TfSetIPWiz& Wizard) : FWizard(Wizard) { ++FWizard.FBusy; }
    ~TBusy() { --FWizard.FBusy; }
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;

private:
    TfSetIPWiz& FWizard;
};

TfSetIPWiz::TfSetIPWiz(QWidget* AOwner, TDataManager* DataManager)
    : QDialog(AOwner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      DataManager(DataManager)
{
    BuildLayout();
}

// A conversation window still open is a child and goes with the wizard.
TfSetIPWiz::~TfSetIPWiz() = default;

void TfSetIPWiz::BuildLayout()
{
    setObjectName(QStringLiteral("fSetIPWiz"));
    setWindowTitle(QStringLiteral("Nastavení IP"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(437, 244);

    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(5, 5, 172, 235);
    Shape1->setStyleSheet(QStringLiteral("#Shape1 { border: 1px solid #008040; }"));

    img = new QLabel(this);
    img->setObjectName(QStringLiteral("img"));
    img->setGeometry(6, 6, 170, 233);
    img->setScaledContents(true);
    try {
        img->setPixmap(QPixmap::fromImage(platform::LoadJpegFile(WizardPicture)));
    } catch (const Exception& e) {
        // The wizard works without its picture.
        qWarning("%s", qUtf8Printable(e.Message()));
    }

    Pages = new QStackedWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    Pages->setGeometry(184, 6, 249, 233);

    pnlMAC = MakePage(Pages, "pnlMAC");
    Label1 = MakeLabel(pnlMAC, "Label1",
                       QStringLiteral("Zadejte MAC adresu zařízení, kterému chcete změnit IP adresu:"), true);
    Label1->setGeometry(8, 24, 233, 33);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    txtMAC = new QLineEdit(pnlMAC);
    txtMAC->setObjectName(QStringLiteral("txtMAC"));
    txtMAC->setGeometry(8, 56, 233, 21);
    Label2 = MakeLabel(pnlMAC, "Label2", QStringLiteral("Adresu pište ve tvaru 00-12-34-56-78-9A"), false);
    Label2->move(8, 80);
    Label2->adjustSize();
    cmdMAC_Cancel = MakeButton(pnlMAC, "cmdMAC_Cancel", QStringLiteral("&Storno"), QRect(70, 206, 83, 25));
    cmdMAC_Next = MakeButton(pnlMAC, "cmdMAC_Next", QStringLiteral("&Další >>"), QRect(160, 206, 83, 25));

    pnlIP = MakePage(Pages, "pnlIP");
    Label3 = MakeLabel(pnlIP, "Label3", QStringLiteral("Nové síťové nastavení :"), true);
    Label3->move(16, 8);
    Label3->adjustSize();
    IPSet = new Tfrm_IPSet(pnlIP);
    IPSet->setObjectName(QStringLiteral("IPSet"));
    IPSet->setGeometry(8, 24, 241, 134);
    cmdIP_Back = MakeButton(pnlIP, "cmdIP_Back", QStringLiteral("<< &Zpět"), QRect(70, 206, 83, 25));
    cmdSetIP = MakeButton(pnlIP, "cmdSetIP", QStringLiteral("&Nastavit"), QRect(160, 206, 83, 25));

    pnlFinish = MakePage(Pages, "pnlFinish");
    imgSit = new QLabel(pnlFinish);
    imgSit->setObjectName(QStringLiteral("imgSit"));
    imgSit->setAttribute(Qt::WA_TranslucentBackground);
    imgSit->setPixmap(DataSenderGlobe());
    imgSit->setGeometry(8, 64, 28, 31);
    lblFinish = MakeLabel(pnlFinish, "lblFinish", QString(), true);
    lblFinish->setGeometry(40, 72, 201, 57);
    lblFinish->setWordWrap(true);
    lblFinish->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblAgain = MakeLabel(pnlFinish, "lblAgain", QStringLiteral("Chcete pokračovat v nastavování IP adresy?"), false);
    lblAgain->move(24, 184);
    lblAgain->adjustSize();
    cmdFin_Again = MakeButton(pnlFinish, "cmdFin_Again", QStringLiteral("&Znovu"), QRect(70, 206, 83, 25));
    cmdFinish = MakeButton(pnlFinish, "cmdFinish", QStringLiteral("&Konec"), QRect(160, 206, 83, 25));

    setTabOrder(txtMAC, cmdMAC_Cancel);
    setTabOrder(cmdMAC_Cancel, cmdMAC_Next);

    connect(cmdMAC_Next, &QPushButton::clicked, this, [this] { cmdMAC_NextClick(); });
    connect(cmdMAC_Cancel, &QPushButton::clicked, this, [this] { cmdMAC_CancelClick(); });
    connect(cmdSetIP, &QPushButton::clicked, this, [this] { cmdSetIPClick(); });
    connect(cmdIP_Back, &QPushButton::clicked, this, [this] { cmdIP_BackClick(); });
    connect(cmdFinish, &QPushButton::clicked, this, [this] { cmdFinishClick(); });
    connect(cmdFin_Again, &QPushButton::clicked, this, [this] { cmdFin_AgainClick(); });

    // The texts first: the window may grow to fit them before it is centred.
    TranslateNewWindow(this);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

int32_t TfSetIPWiz::Execute(TDataManager* DataManager, std::array<uint8_t, 6>& MAC, uint32_t& IP, uint32_t& Mask,
                            uint32_t& Gateway, bool AllowAgain)
{
    // Made after the language file was loaded, it translated itself.
    TfSetIPWiz wizard(nullptr, DataManager);
    wizard.ShowPage(wizard.pnlMAC);
    wizard.ResultCode = ResultStart;
    wizard.AllowAgain = AllowAgain;
    const bool none = std::all_of(MAC.begin(), MAC.end(), [](uint8_t b) { return b == 0; });
    wizard.txtMAC->setText(none ? QString() : MACToStr(MAC));

    if (ModalHook)
        ModalHook(wizard);
    else
        wizard.exec();

    if (wizard.ResultCode == ResultSet) {
        MAC = wizard.MAC;
        IP = wizard.SentIP;
        Mask = wizard.SentMask;
        Gateway = wizard.SentGateway;
    }
    return wizard.ResultCode;
}

void TfSetIPWiz::ShowPage(QWidget* Page)
{
    Pages->setCurrentWidget(Page);
    for (QWidget* page : {pnlMAC, pnlIP, pnlFinish})
        page->setEnabled(page == Page);
    cmdMAC_Next->setDefault(Page == pnlMAC);
    cmdSetIP->setDefault(Page == pnlIP);
    if (Page == pnlMAC)
        txtMAC->setFocus();
    else if (Page == pnlFinish)
        cmdFinish->setFocus();
}

TfDataSender* TfSetIPWiz::GetSender()
{
    // Owned by the wizard: a modal wizard blocks input to any window outside
    // its own family, the conversation window's OK button included. Port 0:
    // the wizard always talks on the standard port.
    if (!Sender)
        Sender = new TfDataSender(this, 0, DataManager);
    return Sender;
}

void TfSetIPWiz::CloseSender()
{
    const QPointer<TfDataSender> sender = Sender;
    Sender = nullptr;
    if (sender)
        sender->close();
}

void TfSetIPWiz::FindIPByMAC(const QString& MACText, QString& IP)
{
    IP.clear();
    try {
        TfDataSender* sender = GetSender();
        sender->show();
        sender->FindIPByMAC(MACText, QString(), IP, false);
    } catch (...) {
        CloseSender();
        throw;
    }
    CloseSender();
}

void TfSetIPWiz::ShowError(const QString& Text)
{
    try {
        GetSender()->ShowMessage(Text, QStringLiteral("OK"), 0, platform::MB_ICONHAND, true);
    } catch (const std::exception& e) {
        // Without a conversation window the plain box must do.
        platform::MessageBox(this, Text + CRLF + ExceptionText(e), QString(), platform::MB_ICONHAND);
    }
}

void TfSetIPWiz::cmdMAC_NextClick()
{
    if (Busy())
        return;
    std::array<uint8_t, 6> mac{};
    bool valid = false;
    try {
        valid = TARPManager::StrToMACBuf(txtMAC->text(), mac.data(), int32_t(mac.size()));
    } catch (const std::exception&) {
        // A pair that is not hexadecimal is just another bad MAC text.
        valid = false;
    }
    if (!valid) {
        platform::MessageBox(this,
                             Txt(u"Totoneníplatná2", u"Toto není platná MAC adresa.") + CRLF +
                                 Txt(u"Zkontrolujtepro", u"Zkontrolujte prosím."),
                             Txt(u"Upozornění", u"Upozornění"), platform::MB_ICONEXCLAMATION);
    } else {
        MAC = mac;
        GoToIPPage();
    }
    CloseSender();
}

void TfSetIPWiz::GoToIPPage()
{
    const TBusy busy(*this);
    try {
        QString found;
        int answer = platform::IDRETRY;
        while (answer == platform::IDRETRY) {
            FindIPByMAC(txtMAC->text(), found);
            if (found.isEmpty())
                answer = platform::MessageBox(
                    this,
                    Txt(u"Zařízenínebylo0", u"Zařízení nebylo nalezeno!") + CRLF +
                        Txt(u"Zkontrolujtezd",
                            u"Zkontrolujte, zda je správně zadána MAC adresa a zařízení je správně zapojeno.") +
                        Txt(u"Potépokusopaku", u"Poté pokus opakujte."),
                    Txt(u"Varování", u"Varování"), platform::MB_ABORTRETRYIGNORE | platform::MB_ICONEXCLAMATION);
            else
                answer = platform::IDYES;
        }
        if (answer != platform::IDIGNORE && answer != platform::IDYES)
            return;

        ShowPage(pnlIP);
        IPSet->setFocus();
        IPSet->txtIP->setFocus();
        QCoreApplication::processEvents();

        QString ip;
        QString gateway = QStringLiteral("0.0.0.0");
        QString mask = QStringLiteral("0.0.0.0");
        if (!found.isEmpty()) {
            TfDataSender* sender = GetSender();
            if (!sender->isVisible())
                sender->show();
            QString device = found;
            uint32_t maskValue = 0;
            if (sender->ReadIPSettings(device, gateway, maskValue)) {
                ip = device;
                mask = TARPManager::IPToStr(maskValue);
            }
            CloseSender();
        }
        IPSet->SetValues(ip, mask, gateway);
    } catch (const std::exception& e) {
        ShowError(ExceptionText(e));
    }
}

bool TfSetIPWiz::ReadSettings(uint32_t& IP, uint32_t& Mask, uint32_t& Gateway) const
{
    if (!IPSet->Validate())
        return false;
    // The frame reads addresses leniently, where "192.168.1" would set the
    // device to 192.168.0.1; the operator's text must mean what it says.
    if (!TryStrictStrToIP(IPSet->txtIP->text(), IP) || IP == 0 || IP == 0xFFFFFFFFu)
        return false;
    Mask = 0;
    const QString maskText = IPSet->txtMask->text();
    if (!IPSet->GetAutoMask() && !maskText.isEmpty() && (!TryStrictStrToIP(maskText, Mask) || !IsContiguousMask(Mask)))
        return false;
    Gateway = 0;
    const QString gatewayText = IPSet->txtGate->text();
    if (!gatewayText.isEmpty() && !TryStrictStrToIP(gatewayText, Gateway))
        return false;
    return true;
}

void TfSetIPWiz::cmdSetIPClick()
{
    if (Busy())
        return;
    const TBusy busy(*this);
    try {
        uint32_t ip = 0;
        uint32_t mask = 0;
        uint32_t gateway = 0;
        if (!ReadSettings(ip, mask, gateway)) {
            platform::MessageBox(this,
                                 Txt(u"Hodnotynejsouz", u"Hodnoty nejsou zadány zprávně. Zkontrolujte je prosím"),
                                 Txt(u"Upozornění0", u"Upozornění"), platform::MB_ICONEXCLAMATION);
            return;
        }
        const QString ipText = TARPManager::IPToStr(ip);
        TfDataSender* sender = GetSender();
        sender->show();
        const bool ok = sender->SetIPByMAC(MACToStr(MAC), ipText, TARPManager::IPToStr(gateway), mask);
        // Read at once: nothing may have freed the window yet.
        const bool answered = Sender && Sender->Answered;
        SentIP = ip;
        SentMask = mask;
        SentGateway = gateway;

        ResultCode = ok ? ResultSet : ResultFailed;
        if (ok)
            ShowFinish(Txt(u"IPadresabylan", u"IP adresa byla nastavena na ") + ipText + QStringLiteral("."),
                       iconTick);
        else if (answered)
            ShowFinish(Txt(u"IPnebylanastav", u"IP nebyla nastavena!"), iconCross);
        else
            ShowFinish(Txt(u"Zařízenínebylo", u"Zařízení nebylo nalezeno!"), iconWarning);
        CloseSender();
    } catch (const std::exception& e) {
        ShowError(ExceptionText(e));
        CloseSender();
    }
}

void TfSetIPWiz::ShowFinish(const QString& Text, int Icon)
{
    ShowPage(pnlFinish);
    lblFinish->setText(Text);
    imgSit->setPixmap(DataSenderIcon(Icon));
    imgSit->resize(DataSenderIconSize, DataSenderIconSize);
    const bool again = AllowAgain || ResultCode == ResultFailed;
    cmdFin_Again->setVisible(again);
    lblAgain->setVisible(again);
}

void TfSetIPWiz::cmdMAC_CancelClick()
{
    if (Busy())
        return;
    ResultCode = ResultCancel;
    done(ResultCode);
}

void TfSetIPWiz::cmdIP_BackClick()
{
    if (Busy())
        return;
    ShowPage(pnlMAC);
}

void TfSetIPWiz::cmdFinishClick()
{
    if (Busy())
        return;
    done(ResultCode);
}

void TfSetIPWiz::cmdFin_AgainClick()
{
    if (Busy())
        return;
    ResultCode = ResultStart;
    ShowPage(pnlMAC);
}

void TfSetIPWiz::reject()
{
    if (Busy())
        return;
    QWidget* page = Pages->currentWidget();
    if (page == pnlMAC)
        cmdMAC_CancelClick();
    else if (page == pnlIP)
        cmdIP_BackClick();
    else
        cmdFinishClick();
}

void TfSetIPWiz::closeEvent(QCloseEvent* event)
{
    // The conversation on the stack still needs the wizard and its window.
    if (Busy() || (Sender && Sender->Conversing())) {
        event->ignore();
        return;
    }
    event->accept();
    done(ResultCode);
}
