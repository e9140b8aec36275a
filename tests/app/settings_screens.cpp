// The real-display runs, one program run as PROGRAM DIR RUN, screenshots
// into DIR. settings: every settings page and
// the wizard's IP page in Czech and English, "SHOT file" for each and "BAD ..."
// for a page the same in English or a control clipped, overlapping or short
// of room. soap: the SOAP pages and the display label's place. lang: Czech,
// English, Czech again, and the place of the top menu and title strip.
#include "app/Panel.h"
#include "app/UpDown.h"
#include "app/uf_IPWiz.h"
#include "app/uf_VYN.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_LMenuH.h"
#include "lang/uLanguage.h"
#include "lang/uLanguageForms.h"
#include "tests/app/DeviceIdentity.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QTest>

#include <cstdio>
#include <map>

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
bool IsComposite(const QWidget* w)
{
    return qobject_cast<const TUpDown*>(w) || qobject_cast<const QAbstractScrollArea*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QStackedWidget*>(w);
}

void CheckText(const QString& where, const QWidget* w)
{
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->wordWrap() || label->text().contains(u'\n') || label->text().isEmpty())
            return;
        const int need = label->fontMetrics().horizontalAdvance(QString(label->text()).remove(u'&'));
        if (need > label->contentsRect().width())
            Bad(where, QStringLiteral("text needs %1 of %2").arg(need).arg(label->contentsRect().width()));
    } else if (const auto* box = qobject_cast<const QCheckBox*>(w)) {
        const QStyle* style = box->style();
        const int need = box->fontMetrics().horizontalAdvance(QString(box->text()).remove(u'&')) +
                         style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                         style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
        if (need > box->width())
            Bad(where, QStringLiteral("text needs %1 of %2").arg(need).arg(box->width()));
    }
}

// The visible controls under Parent, against it, each other and Window.
void CheckChildren(const QString& prefix, QWidget* Parent, QWidget* Window)
{
    QList<QWidget*> shown;
    for (QObject* o : Parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && !w->isWindow() && w->isVisible() && !w->objectName().startsWith(QLatin1String("qt_")))
            shown << w;
    }
    for (qsizetype i = 0; i < shown.size(); ++i) {
        QWidget* w = shown[i];
        const QString where = prefix + u'/' + Name(w);
        if (!Parent->rect().contains(w->geometry()))
            Bad(where, QStringLiteral("outside its parent"));
        if (!Window->rect().contains(QRect(w->mapTo(Window, QPoint(0, 0)), w->size())))
            Bad(where, QStringLiteral("outside the window"));
        for (qsizetype j = i + 1; j < shown.size(); ++j)
            if (w->geometry().intersects(shown[j]->geometry()))
                Bad(where, QStringLiteral("overlaps ") + Name(shown[j]));
        // A layout short of room squeezes controls below what they need.
        if (w->height() < w->minimumSizeHint().height())
            Bad(where, QStringLiteral("squeezed to %1 of %2 high").arg(w->height()).arg(w->minimumSizeHint().height()));
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

void ShowSettings(TfVYN& w, const QString& dir)
{
    const std::pair<TfrmLMenuH*, QWidget*> pages[] = {
        {w.lmCommon, w.pnlCommon}, {w.lmEmail, w.pnlEmail}, {w.lmSNMP, w.pnlSNMP},      {w.lmTCP, w.pnlTCP},
        {w.lmGet, w.pnlGET},       {w.lmSoap, w.pnlSOAP},   {w.lmSoap, w.pnlSoapDoc}, {w.lmNetSet, w.pnlNetSet},
    };
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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QLatin1String run(argv[2]);
    InstallWindowTranslation();
    TfVYN w(nullptr, dir + QStringLiteral("/vyn.ini"));
    if (run != QLatin1String("lang")) {
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
    else if (run == QLatin1String("soap"))
        ShowSoap(w, dir);
    else
        ShowLanguages(w, dir);
    return 0;
}
