// The real-display runs, one program run as PROGRAM DIR RUN, screenshots
// into DIR. settings: every settings page and
// the wizard's IP page in Czech and English, "SHOT file" for each and "BAD ..."
// for a page the same in English or a control clipped, overlapping or short
// of room. windows: every window the program shows (the main window without
// and with a device and on each page, the search dialog in each mode, the
// MAC prompt, the wizard's pages, a conversation window's message and the
// message boxes), in both languages, with the same checks plus a text of the
// other language left behind and icons on dialog buttons. soap: the SOAP
// pages and the display label's place. lang: Czech, English, Czech again,
// and the place of the top menu and title strip.
#include "app/MyUtils.h"
#include "app/Panel.h"
#include "app/UpDown.h"
#include "app/VYN16App.h"
#include "app/uf_IPWiz.h"
#include "app/uf_InputIP.h"
#include "app/uf_VYN.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_LMenuH.h"
#include "lang/uLanguage.h"
#include "lang/uLanguageForms.h"
#include "link/u_ARPTx.h"
#include "link/uf_DataSender.h"
#include "lang/uXmlUtils.h"
#include "platform/IpHelper.h"
#include "platform/MessageBox.h"
#include "tests/app/DeviceIdentity.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QDomDocument>
#include <QFile>
#include <QGroupBox>
#include <QPointer>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QTest>
#include <QXmlStreamReader>

#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace {

QString Name(const QWidget* w)
{
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

void Bad(const QString& where, const QString& what)
{
    std::printf("BAD %s: %s\n", qUtf8Printable(where), qUtf8Printable(what));
}

// The parts of composite controls (the up-down's half-height arrows among
// them) are the controls' business.
// A drawn shape, framing what lies in it.
bool IsShape(const QWidget* w)
{
    return w->metaObject() == &QFrame::staticMetaObject && w->children().isEmpty();
}

bool IsComposite(const QWidget* w)
{
    return qobject_cast<const TUpDown*>(w) || qobject_cast<const QAbstractScrollArea*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QComboBox*>(w);
}

// The text as drawn: "&" marks the underlined letter, "&&" is an ampersand.
QString Drawn(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

// Where a label's text lies in its box; the box itself for other controls.
// Boxes may overhang each other where their texts do not.
QRect UsedRect(const QWidget* w)
{
    const auto* label = qobject_cast<const QLabel*>(w);
    if (!label || label->text().isEmpty())
        return w->geometry();
    const QRect box = w->geometry();
    QSize need = label->wordWrap() ? QSize(box.width(), label->heightForWidth(box.width())) : label->sizeHint();
    need = need.boundedTo(box.size());
    return QStyle::alignedRect(label->layoutDirection(), label->alignment(), need, box);
}

void CheckText(const QString& where, const QWidget* w)
{
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->text().isEmpty())
            return;
        const QRect room = label->contentsRect();
        if (label->wordWrap()) {
            const int need = label->heightForWidth(label->width());
            if (need > label->height())
                Bad(where, QStringLiteral("wrapped text needs %1 of %2 high").arg(need).arg(label->height()));
            // Its longest word, which a wrapped label does not break.
            if (label->minimumSizeHint().width() > label->width())
                Bad(where, QStringLiteral("a word needs %1 of %2").arg(label->minimumSizeHint().width()).arg(label->width()));
            return;
        }
        const QSize need = label->fontMetrics().size(0, Drawn(label->text()));
        if (need.width() > room.width())
            Bad(where, QStringLiteral("text needs %1 of %2").arg(need.width()).arg(room.width()));
        if (need.height() > room.height())
            Bad(where, QStringLiteral("text needs %1 of %2 high").arg(need.height()).arg(room.height()));
    } else if (const auto* box = qobject_cast<const QCheckBox*>(w)) {
        const QStyle* style = box->style();
        const int need = box->fontMetrics().horizontalAdvance(Drawn(box->text())) +
                         style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                         style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
        if (need > box->width())
            Bad(where, QStringLiteral("text needs %1 of %2").arg(need).arg(box->width()));
    } else if (const auto* button = qobject_cast<const QPushButton*>(w)) {
        // The style's frame takes a few pixels on each side.
        const int need = button->fontMetrics().horizontalAdvance(Drawn(button->text())) + 6 +
                         (button->icon().isNull() ? 0 : button->iconSize().width() + 4);
        if (!button->text().isEmpty() && need > button->width())
            Bad(where, QStringLiteral("text needs %1 of %2").arg(need).arg(button->width()));
        if (!button->icon().isNull() && qobject_cast<const QDialogButtonBox*>(button->parentWidget()))
            Bad(where, QStringLiteral("a dialog button with an icon"));
    }
}

// The visible controls under Parent, against it, each other and Window.
void CheckChildren(const QString& prefix, QWidget* Parent, QWidget* Window)
{
    QList<QWidget*> shown;
    for (QObject* o : Parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && !w->isWindow() && w->isVisible() && !w->objectName().startsWith(QLatin1String("qt_scrollarea")))
            shown << w;
    }
    // A page behind the one in front (later children lie on top) is not seen.
    for (qsizetype i = shown.size() - 1; i >= 0; --i)
        for (qsizetype j = i + 1; j < shown.size(); ++j)
            if (shown[j]->geometry().contains(shown[i]->geometry())) {
                shown.removeAt(i);
                break;
            }
    for (qsizetype i = 0; i < shown.size(); ++i) {
        QWidget* w = shown[i];
        const QString where = prefix + u'/' + Name(w);
        const QRect used = UsedRect(w);
        if (!Parent->rect().contains(used))
            Bad(where, QStringLiteral("outside its parent"));
        if (!Window->rect().contains(QRect(Parent->mapTo(Window, used.topLeft()), used.size())))
            Bad(where, QStringLiteral("outside the window"));
        for (qsizetype j = i + 1; j < shown.size(); ++j)
            if (used.intersects(UsedRect(shown[j])) && !IsShape(w) && !IsShape(shown[j]))
                Bad(where, QStringLiteral("overlaps ") + Name(shown[j]));
        // A layout short of room squeezes controls below what they need.
        if (w->height() < w->minimumSizeHint().height())
            Bad(where, QStringLiteral("squeezed to %1 of %2 high").arg(w->height()).arg(w->minimumSizeHint().height()));
        if (w->width() < w->minimumWidth() || w->height() < w->minimumHeight())
            Bad(where, QStringLiteral("smaller than its minimum size"));
        CheckText(where, w);
        if (!IsComposite(w))
            CheckChildren(where, w, Window);
    }
}

QPixmap Shoot(QWidget* Window, const QString& file)
{
    Window->repaint();
    QGuiApplication::sync();
    QTest::qWait(50);
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    screen.save(file);
    return screen;
}

// The page and what it holds, then its screenshot, which must differ in English.
void CheckAndShoot(const QString& dir, const QString& tag, QWidget* Page, QWidget* Window)
{
    const QString file = tag + u'_' + Page->objectName() + QStringLiteral(".png");
    const QString where = tag + u':' + Name(Page);
    if (!Page->isVisible())
        Bad(where, QStringLiteral("not shown"));
    if (!Window->rect().contains(QRect(Page->mapTo(Window, QPoint(0, 0)), Page->size())))
        Bad(where, QStringLiteral("outside the window"));
    CheckChildren(where, Page, Window);
    const QImage shot =
        Shoot(Window, dir + u'/' + file).toImage().copy(QRect(Page->mapToGlobal(QPoint(0, 0)), Page->size()));
    static std::map<QString, QImage> czech;
    if (tag == QLatin1String("cs"))
        czech[Page->objectName()] = shot;
    else if (czech[Page->objectName()] == shot)
        Bad(where, QStringLiteral("the same in English"));
    std::printf("SHOT %s\n", qUtf8Printable(file));
}

// Every settings page with the menu item that shows it, the SOAP document
// page shown from its page.
std::vector<std::pair<TfrmLMenuH*, QWidget*>> SettingsPages(TfVYN& w)
{
    return {
        {w.lmCommon, w.pnlCommon}, {w.lmEmail, w.pnlEmail}, {w.lmSNMP, w.pnlSNMP},      {w.lmTCP, w.pnlTCP},
        {w.lmGet, w.pnlGET},       {w.lmSoap, w.pnlSOAP},   {w.lmSoap, w.pnlSoapDoc}, {w.lmNetSet, w.pnlNetSet},
    };
}

void ShowSettings(TfVYN& w, const QString& dir)
{
    const auto pages = SettingsPages(w);
    for (const QString& tag : {QStringLiteral("cs"), QStringLiteral("en")}) {
        if (tag == QLatin1String("en"))
            QTest::mouseClick(w.Image3, Qt::LeftButton);
        for (const auto& [menu, page] : pages) {
            w.LMenuClick(menu);
            if (page == w.pnlSoapDoc)
                w.ShowPage(page, true);
            QCoreApplication::processEvents();
            CheckAndShoot(dir, tag, page, &w);
        }

        TfSetIPWiz wizard(nullptr, w.FDataManager.get());
        Language.TranslateForm(&wizard);
        wizard.IPSet->SetValues(QStringLiteral("123.123.123.123"), QStringLiteral("255.255.255.0"),
                                QStringLiteral("123.123.123.254"));
        wizard.ShowPage(wizard.pnlIP);
        wizard.show();
        if (!QTest::qWaitForWindowExposed(&wizard))
            Bad(tag, QStringLiteral("the wizard is not shown"));
        QCoreApplication::processEvents();
        CheckAndShoot(dir, tag, wizard.pnlIP, &wizard);
        wizard.hide();
    }
}

void ShowSoap(TfVYN& w, const QString& dir)
{
    w.pnlSettingsHold->show();
    w.SetSoapDocument("POST /Sensors.asmx HTTP/1.1\r\nHost: 10.0.0.8\r\n\r\n<t><%val0%> <%guid%></t>");
    w.lblMerit->setText(TfVYN::TemperatureText(QStringLiteral("235")));
    w.lblMerit->show();
    for (QWidget* page : {w.pnlSOAP, w.pnlSoapDoc}) {
        w.ShowPage(page, true);
        Shoot(&w, dir + (page == w.pnlSOAP ? QStringLiteral("/soap.png") : QStringLiteral("/soapdoc.png")));
    }
    const QRect merit(w.lblMerit->mapTo(&w, QPoint(0, 0)) + w.geometry().topLeft(), w.lblMerit->size());
    std::printf("%d %d %d %d\n", merit.x(), merit.y(), merit.width(), merit.height());
}

void ShowLanguages(TfVYN& w, const QString& dir)
{
    Shoot(&w, dir + QStringLiteral("/cesky.png"));
    QTest::mouseClick(w.Image3, Qt::LeftButton);
    Shoot(&w, dir + QStringLiteral("/english.png"));
    QTest::mouseClick(w.Image2, Qt::LeftButton);
    Shoot(&w, dir + QStringLiteral("/cesky2.png"));
    const QPoint top = w.pnlHeader->mapToGlobal(QPoint(0, 0));
    std::printf("%d %d %d %d\n", top.x(), top.y(), w.pnlHeader->width(),
                w.pnlHeader->height() + w.pnlTitulek->height());
}


// ------------------------------------------------------------ every window

// The texts a language file gives (captions, hints, items, messages).
std::set<QString> FileTexts(const QString& file)
{
    std::set<QString> texts;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return texts;
    QXmlStreamReader xml(&f);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        for (const QXmlStreamAttribute& a : xml.attributes())
            texts.insert(Drawn(a.value().toString()));
    }
    return texts;
}

// What only the Czech file says: shown in English, a window missed its
// translation.
const std::set<QString>& CzechOnly()
{
    static const std::set<QString> texts = [] {
        std::set<QString> czech = FileTexts(ProgramFolder() + QStringLiteral("cesky.lng"));
        for (const QString& t : FileTexts(ProgramFolder() + QStringLiteral("english.lng")))
            czech.erase(t);
        return czech;
    }();
    return texts;
}

void CheckLanguage(const QString& where, QWidget* Window)
{
    QList<QWidget*> all = Window->findChildren<QWidget*>();
    all.prepend(Window);
    for (QWidget* w : all) {
        if (!w->isVisible())
            continue;
        QString text;
        if (w == Window)
            text = w->windowTitle();
        else if (auto* label = qobject_cast<QLabel*>(w))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            text = button->text();
        else if (auto* group = qobject_cast<QGroupBox*>(w))
            text = group->title();
        if (!text.isEmpty() && CzechOnly().count(Drawn(text)))
            Bad(where + u'/' + Name(w), QStringLiteral("still Czech: ") + text);
    }
}

// The conversation window's long messages, each as its parts: language
// texts by key, and after '=' the program's own words. Add a row for each
// message that may run long.
const std::vector<std::vector<const char*>> LongMessageParts = {
    {"Komunikaceseza0", "=\r\n", "Pravděpodobnoup", "=192.168.100.100)"},
};

// The rows in the language file of tag (its Czech texts are the built-in
// ones), the file's longest text, and the error of a static ARP entry left
// for want of rights, which names the way out.
QStringList LongMessages(const QString& tag)
{
    const TXmlDocument file = TXmlDocument::LoadFromFile(
        ProgramFolder() + (tag == QLatin1String("cs") ? QStringLiteral("cesky.lng") : QStringLiteral("english.lng")));
    const TXmlElement* texts = file.DocumentElement().FirstChild(QStringLiteral("const"));
    const auto text = [&](const QString& key) {
        const TXmlElement* found = texts ? texts->FirstChild(key) : nullptr;
        if (!found)
            Bad(tag, QStringLiteral("no text for ") + key);
        return found ? found->Attribute(QStringLiteral("text")) : QString();
    };
    QStringList messages(1);
    for (const auto& parts : LongMessageParts) {
        for (const char* part : parts)
            messages.back() += part[0] == '=' ? QString::fromUtf8(part + 1) : text(QString::fromUtf8(part));
        messages << QString();
    }
    for (const TXmlElement& each : texts ? texts->Children() : std::list<TXmlElement>())
        if (each.Attribute(QStringLiteral("text")).size() > messages.back().size())
            messages.back() = each.Attribute(QStringLiteral("text"));
    // The longest the program words itself: both removals refused because
    // this user may not run the helper, each naming its path and group.
    const QString refused = ARPErrorText(platform::ERROR_ACCESS_DISABLED_BY_POLICY);
    return messages << QStringLiteral("DeleteHostRoute:\r\n") + refused + QStringLiteral("DeleteARPEntry:\r\n") +
                           refused;
}

int g_shots = 0;

void CheckWindow(const QString& dir, const QString& tag, const QString& name, QWidget* Window)
{
    const QString where = tag + u':' + name;
    if (!QTest::qWaitForWindowExposed(Window))
        Bad(where, QStringLiteral("not shown"));
    QCoreApplication::processEvents();
    if (Window->layout() && (Window->width() < Window->layout()->minimumSize().width() ||
                             Window->height() < Window->layout()->minimumSize().height()))
        Bad(where, QStringLiteral("smaller than its layout's minimum"));
    if (!Window->screen()->availableGeometry().contains(Window->frameGeometry()))
        Bad(where, QStringLiteral("not within the screen"));
    CheckChildren(where, Window, Window);
    if (tag == QLatin1String("en"))
        CheckLanguage(where, Window);
    const QString file = tag + u'_' + name + QStringLiteral(".png");
    const QRect frame = Window->frameGeometry();
    Shoot(Window, dir + u'/' + file).copy(frame).save(dir + u'/' + file);
    ++g_shots;
    std::printf("SHOT %s\n", qUtf8Printable(file));
}

// Checks the next modal window once it shows, then closes it as Escape would.
void WhenModalShows(const QString& dir, const QString& tag, const QString& name)
{
    auto* timer = new QTimer;
    auto* waited = new int(0);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if ((!modal || !modal->isVisible()) && ++*waited < 250)
            return;
        timer->stop();
        timer->deleteLater();
        delete waited;
        if (!modal) {
            Bad(tag + u':' + name, QStringLiteral("not shown"));
            return;
        }
        CheckWindow(dir, tag, name, modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    });
    timer->start();
}

void ShowWindows(TfVYN& w, const QString& dir)
{
    const auto pages = SettingsPages(w);
    for (const QString& tag : {QStringLiteral("cs"), QStringLiteral("en")}) {
        if (tag == QLatin1String("en"))
            QTest::mouseClick(w.Image3, Qt::LeftButton);

        // The main window without a device, loaded, and on every page.
        w.FDeviceLoaded = false;
        w.UpdateDeviceState();
        CheckWindow(dir, tag, QStringLiteral("main_nodevice"), &w);
        w.FDevIP = StrToIPAddr(QStringLiteral("192.168.1.254"));
        w.FDeviceLoaded = true;
        GiveSupportedIdentity(w);
        w.UpdateDeviceState();
        CheckWindow(dir, tag, QStringLiteral("main_loaded"), &w);
        for (const auto& [menu, page] : pages) {
            w.LMenuClick(menu);
            if (page == w.pnlSoapDoc)
                w.ShowPage(page, true);
            CheckWindow(dir, tag, QStringLiteral("main_") + page->objectName(), &w);
        }

        // The search by IP as the main window opens it, then the notice
        // about a wrong address.
        TfInputIP::ModalHook = [&](TfInputIP& d) {
            d.show();
            CheckWindow(dir, tag, QStringLiteral("fInputIP_3"), &d);
            d.txtIP->setText(QStringLiteral("1.2"));
            d.cmdOKClick();
        };
        WhenModalShows(dir, tag, QStringLiteral("notice"));
        w.menuIPTlacClick();
        // The other modes with the same texts.
        for (int mode : {0, 1, 2}) {
            TfInputIP::ModalHook = [&](TfInputIP& d) {
                d.show();
                CheckWindow(dir, tag, QStringLiteral("fInputIP_%1").arg(mode), &d);
                d.cmdCancelClick();
            };
            QString ip = QStringLiteral("192.168.1.254");
            uint16_t port = 30718;
            TfInputIP::Execute(ip, port, mode, Lang("Vyhledánízaříze", "Vyhledání zařízení"),
                               Lang("ZadejteIPadres", "Zadejte IP adresu zařízení:"),
                               Lang("NestandardniPort", "Nestandardní port"));
        }
        TfInputIP::ModalHook = nullptr;

        WhenModalShows(dir, tag, QStringLiteral("mac_prompt"));
        w.menuMACTlacClick();

        TfSetIPWiz::ModalHook = [&](TfSetIPWiz& z) {
            z.show();
            CheckWindow(dir, tag, QStringLiteral("wizard_mac"), &z);
            z.IPSet->SetValues(QStringLiteral("123.123.123.123"), QStringLiteral("255.255.255.0"),
                               QStringLiteral("123.123.123.254"));
            z.ShowPage(z.pnlIP);
            CheckWindow(dir, tag, QStringLiteral("wizard_ip"), &z);
            z.AllowAgain = true;
            z.ShowFinish(Lang("IPadresabylan", "IP adresa byla nastavena na ") + QStringLiteral("123.123.123.123."), 5);
            CheckWindow(dir, tag, QStringLiteral("wizard_finish"), &z);
            z.hide();
        };
        std::array<uint8_t, 6> mac{0x00, 0x12, 0x34, 0x56, 0x78, 0x9a};
        uint32_t ip = 0, mask = 0, gateway = 0;
        TfSetIPWiz::Execute(w.FDataManager.get(), mac, ip, mask, gateway, false);
        TfSetIPWiz::ModalHook = nullptr;

        // The conversation window with each of its longest messages.
        const QStringList messages = LongMessages(tag);
        for (qsizetype i = 0; i < messages.size(); ++i) {
            QPointer<TfDataSender> sender = new TfDataSender(&w, 0, w.FDataManager.get());
            sender->ShowMessage(messages[i], QStringLiteral("OK"), 10, platform::MB_ICONEXCLAMATION, false);
            CheckWindow(dir, tag, QStringLiteral("conversation%1").arg(i), sender);
            sender->close();
        }

        // Alt+X without a device asks before the program ends.
        w.FDeviceLoaded = false;
        w.UpdateDeviceState();
        w.activateWindow();
        WhenModalShows(dir, tag, QStringLiteral("quit_question"));
        QTest::keyClick(&w, Qt::Key_X, Qt::AltModifier);
        QCoreApplication::processEvents();
    }
    std::printf("WINDOWS %d\n", g_shots);
}

} // namespace

int main(int argc, char** argv)
{
    // The program's own application object: its style is part of the look.
    TApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QLatin1String run(argv[2]);
    InstallWindowTranslation();
    TfVYN w(nullptr, dir + QStringLiteral("/vyn.ini"));
    if (run != QLatin1String("lang") && run != QLatin1String("windows")) {
        w.FDeviceLoaded = true;
        GiveSupportedIdentity(w);
        w.UpdateDeviceState();
    }
    w.move(0, 0);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 3;
    if (run == QLatin1String("settings"))
        ShowSettings(w, dir);
    else if (run == QLatin1String("windows"))
        ShowWindows(w, dir);
    else if (run == QLatin1String("soap"))
        ShowSoap(w, dir);
    else
        ShowLanguages(w, dir);
    return 0;
}
