// Page menu, adapter choice, language switch and keyboard commands.
#include "app/uf_VYN.h"

#include "app/MyUtils.h"
#include "app/Panel.h"
#include "app/VYN16App.h"
#include "app/uConst.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "lang/uLanguage.h"
#include "lang/uLanguageExport.h"
#include "link/uf_DataSender.h"
#include "platform/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include <exception>
#include <functional>
#include <memory>

// The language file chosen last with a flag.
QString LanguageFile;

namespace {

constexpr int FlagWidth = 20;
constexpr int FlagHeight = 12;
constexpr int FooterHeight = 18;

// A picture that can be clicked.
class TImage : public QLabel
{
public:
    TImage(QWidget* Parent, const QString& Name, const QPixmap& Picture, std::function<void()> Click)
        : QLabel(Parent), FClick(std::move(Click))
    {
        setObjectName(Name);
        setPixmap(Picture);
        setFixedSize(Picture.size());
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* Event) override { FPressed = Event->button() == Qt::LeftButton; }
    void mouseReleaseEvent(QMouseEvent* Event) override
    {
        const bool click = FPressed && Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint());
        FPressed = false;
        if (click && FClick)
            Guarded(FClick);
    }

private:
    std::function<void()> FClick;
    bool FPressed = false;
};

QPixmap CzechFlag()
{
    QPixmap flag(FlagWidth, FlagHeight);
    QPainter p(&flag);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(0, 0, FlagWidth, FlagHeight / 2, Qt::white);
    p.fillRect(0, FlagHeight / 2, FlagWidth, FlagHeight - FlagHeight / 2, QColor(0xD7, 0x14, 0x1A));
    QPainterPath wedge;
    wedge.moveTo(0, 0);
    wedge.lineTo(FlagWidth / 2.0, FlagHeight / 2.0);
    wedge.lineTo(0, FlagHeight);
    wedge.closeSubpath();
    p.fillPath(wedge, QColor(0x11, 0x45, 0x7E));
    return flag;
}

QPixmap EnglishFlag()
{
    QPixmap flag(FlagWidth, FlagHeight);
    const QColor blue(0x01, 0x21, 0x69), red(0xC8, 0x10, 0x2E);
    QPainter p(&flag);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(flag.rect(), blue);
    const auto line = [&](const QColor& color, qreal width, QLineF a) {
        p.setPen(QPen(color, width));
        p.drawLine(a);
    };
    for (const QLineF& d : {QLineF(0, 0, FlagWidth, FlagHeight), QLineF(0, FlagHeight, FlagWidth, 0)}) {
        line(Qt::white, 2.6, d);
        line(red, 1.0, d);
    }
    p.fillRect(QRectF(0, FlagHeight / 2.0 - 2.5, FlagWidth, 5), Qt::white);
    p.fillRect(QRectF(FlagWidth / 2.0 - 2.5, 0, 5, FlagHeight), Qt::white);
    p.fillRect(QRectF(0, FlagHeight / 2.0 - 1.5, FlagWidth, 3), red);
    p.fillRect(QRectF(FlagWidth / 2.0 - 1.5, 0, 3, FlagHeight), red);
    return flag;
}

// Our own mark: a thermometer on the header's colour.
QPixmap Logo()
{
    QPixmap logo(30, 30);
    logo.fill(clButtonNormal);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(12, 3, 6, 18), 3, 3);
    p.drawEllipse(QPointF(15, 22), 5.5, 5.5);
    p.setBrush(QColor(0xD7, 0x14, 0x1A));
    p.drawRect(QRectF(14, 9, 2, 12));
    p.drawEllipse(QPointF(15, 22), 3.5, 3.5);
    return logo;
}

// The window sees every key before the focused control, as long as the key
// is meant for it: not while a dialog or a menu is in front, and never keys
// of other windows (the conversation window, the wizard).
class TKeyPreview : public QObject
{
public:
    explicit TKeyPreview(TfVYN* Window) : QObject(Window), FWindow(Window) {}

    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() != QEvent::KeyPress || !Watched->isWidgetType())
            return false;
        if (static_cast<QWidget*>(Watched)->window() != FWindow)
            return false;
        if (QApplication::activeModalWidget() || QApplication::activePopupWidget())
            return false;
        auto* key = static_cast<QKeyEvent*>(Event);
        int code = key->key();
        Guarded([&] { FWindow->FormKeyDown(code, key->modifiers(), key->text()); });
        // A key the window acted on is not seen again on its way to the
        // parents, so each command runs once.
        return code == 0;
    }

private:
    TfVYN* FWindow;
};

// The translator of Qt's own texts; none while the language needs none.
std::unique_ptr<QTranslator>& QtTranslator()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

// The text of a caption as drawn: "&" marks the underlined letter, "&&" is
// an ampersand.
QString DrawnCaption(QString Caption)
{
    Caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    Caption.remove(u'&');
    Caption.replace(u'\x01', u'&');
    return Caption;
}

const char* const DesignWidthProperty = "vynDesignWidth";

} // namespace

void TfVYN::BuildCommands()
{
    // Adapter descriptions and hints are never markup.
    lblTitulek->setTextFormat(Qt::PlainText);
    lblCurrentAdapter->setTextFormat(Qt::PlainText);
    cmdSelAdapter->OnClick = [this](QObject*) { Guarded([this] { cmdSelAdapterTlacClick(); }); };

    auto* header = qobject_cast<QBoxLayout*>(pnlHeader->layout());
    imgLogo = new TImage(pnlHeader, QStringLiteral("imgLogo"), Logo(), [this] { imgLogoClick(); });
    imgLogo->unsetCursor();
    header->insertWidget(0, imgLogo);
    auto* flags = new QVBoxLayout;
    flags->setContentsMargins(0, 2, 6, 2);
    flags->setSpacing(2);
    Image2 = new TImage(pnlHeader, QStringLiteral("Image2"), CzechFlag(), [this] { Image2Click(); });
    Image2->setToolTip(QStringLiteral("Česky"));
    Image3 = new TImage(pnlHeader, QStringLiteral("Image3"), EnglishFlag(), [this] { Image3Click(); });
    Image3->setToolTip(QStringLiteral("English"));
    flags->addWidget(Image2);
    flags->addWidget(Image3);
    header->addLayout(flags);

    pnlFooter = new TPanel(this, QStringLiteral("pnlFooter"), clMenuSelected);
    pnlFooter->setFixedHeight(FooterHeight);
    auto* footer = new QHBoxLayout(pnlFooter);
    footer->setContentsMargins(8, 0, 8, 0);
    // Design aids, never shown: the template export and the settings area
    // without a device.
    cmdSaveForm = new QPushButton(QStringLiteral("cmdSaveForm"), pnlFooter);
    cmdSaveForm->setObjectName(QStringLiteral("cmdSaveForm"));
    cmdSaveForm->hide();
    connect(cmdSaveForm, &QPushButton::clicked, this, [this] { Guarded([this] { cmdSaveFormClick(); }); });
    Button1 = new QPushButton(QStringLiteral("Button1"), pnlFooter);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->hide();
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
    lblKavrelo = new QLabel(QStringLiteral("VYN – nastavení síťového teploměru"), pnlFooter);
    lblKavrelo->setObjectName(QStringLiteral("lblKavrelo"));
    lblKavrelo->setTextFormat(Qt::PlainText);
    QPalette pal = lblKavrelo->palette();
    pal.setColor(QPalette::WindowText, clButtonHover);
    lblKavrelo->setPalette(pal);
    footer->addStretch(1);
    footer->addWidget(lblKavrelo);
    layout()->addWidget(pnlFooter);

    qApp->installEventFilter(new TKeyPreview(this));
}

void TfVYN::ShowPage(QWidget* Page, bool BringToFront)
{
    if (!Page)
        Page = pnlNone;
    QWidget* parent = Page->parentWidget();
    if (!parent)
        return;
    for (TPanel* child : parent->findChildren<TPanel*>(Qt::FindDirectChildrenOnly)) {
        if (BringToFront)
            child->setEnabled(child == Page);
        else
            child->setVisible(child == Page);
    }
    if (BringToFront)
        Page->raise();
}

void TfVYN::ShowCurrentIP(uint32_t IP)
{
    if (!lblCurrentIP)
        return;
    FCurrentIPShown = IP;
    // The caption up to its colon is the translated part.
    const QString caption = lblCurrentIP->text();
    const qsizetype colon = caption.indexOf(u':');
    const QString prefix = colon >= 0 ? caption.left(colon + 1) : QString();
    if (FDevIP != 0) {
        lblCurrentIP->setText(prefix + QLatin1Char(' ') + IPAddrToStr(IP));
        lblCurrentIP->show();
    } else {
        lblCurrentIP->setText(prefix);
        lblCurrentIP->hide();
    }
}

void TfVYN::CloseDevice()
{
    FDeviceLoaded = false;
    UpdateDeviceState();
}

void TfVYN::LMenuClick(QObject* Sender)
{
    auto* item = qobject_cast<TfrmLMenuH*>(Sender);
    if (!item || item->Inactive())
        return;
    SelectLMenu(item);
    pnlSettingsHold->show();
    pnlSettingsCaption->SetCaption(item->GetCaption());
    for (const auto& [menu, page] : MenuPages())
        if (menu == item) {
            ShowPage(page, true);
            return;
        }
}

void TfVYN::cmdSelAdapterTlacClick()
{
    FillAdapterMenu();
    const QPoint corner = cmdSelAdapter->mapToGlobal(QPoint(cmdSelAdapter->width(), cmdSelAdapter->height()));
    pmSelAdapt->popup(corner - QPoint(pmSelAdapt->sizeHint().width(), 0));
}

void TfVYN::FillAdapterMenu()
{
    // What cannot be read leaves the menu as far as it was built.
    try {
        FAdapterCount = ARPManager().GetLocalAddresses(FAdapters, true);
        const QList<QAction*> items = pmSelAdapt->actions();
        for (qsizetype i = items.size() - 1; i >= 0; --i)
            if (items[i] != mSelAdapt) {
                pmSelAdapt->removeAction(items[i]);
                delete items[i];
            }
        if (FAdapterCount <= 0) {
            LocalAdapterIP = 0;
            lblCurrentAdapter->setText(Lang("NoAdapter", "Není k dispozici síťový adaptér."));
        } else {
            for (int i = 0; i < FAdapterCount && i < int(FAdapters.size()); ++i) {
                const TAdapterIPAddress& entry = FAdapters[size_t(i)];
                const uint32_t address = StrToIPAddr(entry.IP);
                if (address == 0 || address == 0xFFFFFFFFu)
                    continue;
                QAction* item = pmSelAdapt->addAction(entry.Description + QStringLiteral(" (") + entry.IP + u')');
                item->setData(address);
                connect(item, &QAction::triggered, this, [this, item] { mSelAdaptClick(item); });
            }
        }
        mSelAdapt->setText(Lang("DefaultAdapter", "<Výchozí adaptér>"));
    } catch (const std::exception&) {
    }
}

void TfVYN::Image2Click()
{
    LanguageFile = ProgramFolder() + QStringLiteral("cesky.lng");
    Language.LoadFromFile(LanguageFile);
    RefreshRunTimeTexts();
}

void TfVYN::Image3Click()
{
    LanguageFile = ProgramFolder() + QStringLiteral("english.lng");
    Language.LoadFromFile(LanguageFile);
    RefreshRunTimeTexts();
}

void TfVYN::ApplyQtTranslation()
{
    std::unique_ptr<QTranslator>& current = QtTranslator();
    if (current) {
        QCoreApplication::removeTranslator(current.get());
        current.reset();
    }
    // The built-in texts are Czech, so Qt's are too unless the file names
    // other ones (or none).
    const QString name = Lang("QtTranslation", "qtbase_cs");
    if (name.isEmpty())
        return;
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator.get());
        current = std::move(translator);
    }
}

void TfVYN::LanguageLoaded()
{
    ApplyQtTranslation();
    // A frame keeps its design width unless its caption needs more.
    for (TNavFrame* frame : findChildren<TNavFrame*>()) {
        if (qobject_cast<TfrmLMenuH*>(frame))
            continue; // the page menu has the width of its panel
        QVariant design = frame->property(DesignWidthProperty);
        if (!design.isValid()) {
            design = frame->width();
            frame->setProperty(DesignWidthProperty, design);
        }
        const int inset = qobject_cast<TfrmTlacitko*>(frame) ? 2 : 0;
        const int needed = frame->Tlac->fontMetrics().horizontalAdvance(DrawnCaption(frame->Caption())) + 2 * 4 + inset + 2;
        frame->setFixedWidth(std::max(design.toInt(), needed));
    }
}

void TfVYN::RefreshRunTimeTexts()
{
    LanguageLoaded();
    if (LocalAdapterIP == 0)
        mSelAdaptClick(mSelAdapt);
    mSelAdapt->setText(Lang("DefaultAdapter", "<Výchozí adaptér>"));
    lblTitulek->clear();
    if (FDevIP != 0)
        ShowCurrentIP(FCurrentIPShown);
    if (cmdMerit->isVisibleTo(this))
        cmdMerit->SetCaption(timMerit->isActive() ? Lang("Stop", "Stop") : Lang("Měřit", "Měřit"));
    if (lblSoapStat && FSoapBody.isEmpty())
        lblSoapStat->setText(Lang("empty", "<empty>"));
    for (const auto& [item, page] : MenuPages())
        if (item->Selected())
            pnlSettingsCaption->SetCaption(item->GetCaption());
}

void TfVYN::FormKeyDown(int& Key, Qt::KeyboardModifiers Shift, const QString& Text)
{
    // AltGr arrives as Ctrl+Alt on many keyboards and types "@" or "#": such
    // keys belong to the focused control, as does any character typed with
    // Alt that is not the key's own letter.
    if (!(Shift & Qt::AltModifier) || (Shift & (Qt::ControlModifier | Qt::MetaModifier)))
        return;
    const bool letterOrDigit = (Key >= Qt::Key_A && Key <= Qt::Key_Z) || (Key >= Qt::Key_0 && Key <= Qt::Key_9);
    if (!Text.isEmpty() && Text.at(0).isPrint()
        && !(letterOrDigit && Text.size() == 1 && Text.at(0).toUpper() == QChar(char16_t(Key))))
        return;

    const bool command = Key == Qt::Key_X || Key == Qt::Key_I || Key == Qt::Key_M || Key == Qt::Key_S;
    if (RoadBusy()) {
        // One road at a time: the commands wait for the running one.
        if (command || FDeviceLoaded)
            Key = 0;
        return;
    }
    if (Key == Qt::Key_X) {
        // Consumed either way: on this platform Alt with a letter would type
        // the letter into the focused field.
        Key = 0;
        if (FDeviceLoaded)
            cmdCloseSetTlacClick();
        else if (ShowMessageBox(Lang("UkoncitAplikaci", "Ukončit aplikaci?"),
                                platform::MB_YESNO | platform::MB_ICONQUESTION, windowTitle(), this)
                 == platform::IDYES)
            close();
        return;
    }
    switch (Key) {
    case Qt::Key_I: menuIPTlacClick(); Key = 0; return;
    case Qt::Key_M: menuMACTlacClick(); Key = 0; return;
    case Qt::Key_S: menuSetIPTlacClick(); Key = 0; return;
    default: break;
    }
    if (FDeviceLoaded)
        Key = 0;
}

void TfVYN::cmdSaveFormClick()
{
    ExportFormTemplate(this, QStringLiteral("form.xml"));
}

// The program has no web site to open: the logo and the footer only name it.
void TfVYN::imgLogoClick()
{
}

void TfVYN::FooterlblKavreloClick()
{
}

void TfVYN::Button1Click()
{
    pnlDevSetup->show();
    ShowPage(pnlDevSetup, false);
    lmTempSet->SetInactive(true);
    DeselectLMenu();
}
