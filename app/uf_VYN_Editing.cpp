// Field editing on the settings pages: group enabling, the copies of shared
// values kept equal, the temperature band's steps and the host look-ups.
#include "app/uf_VYN.h"

#include "app/MyUtils.h"
#include "app/UpDown.h"
#include "app/VYN16App.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_Tlacitko.h"
#include "lang/uLanguage.h"
#include "platform/Exception.h"
#include "platform/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QRegularExpression>
#include <QSpinBox>

#include <cmath>

namespace {

void Count(const char* Name)
{
    ++TfVYN::HandlerCalls()[QString::fromLatin1(Name)];
}

QString MessageOf(const std::exception& E)
{
    if (const auto* e = dynamic_cast<const Exception*>(&E))
        return e->Message();
    return QString::fromLocal8Bit(E.what());
}

// The keys the handlers know, as the classic key codes.
int ClassicKey(int QtKey)
{
    switch (QtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Down:
        return 40;
    default:
        return 0;
    }
}

// Key-down and exit of an edit. The key goes on to the edit afterwards. The
// widgets a handler touches are watched, so that nothing runs while the
// window takes its pages down.
class TEditEvents : public QObject
{
public:
    TEditEvents(QLineEdit* Edit, std::vector<QPointer<QObject>> Watched, std::function<void(int)> OnKey,
                std::function<void()> OnExit)
        : QObject(Edit), FWatched(std::move(Watched)), FOnKey(std::move(OnKey)), FOnExit(std::move(OnExit))
    {
        Edit->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* Event) override
    {
        for (const QPointer<QObject>& w : FWatched)
            if (!w)
                return false;
        try {
            if (Event->type() == QEvent::KeyPress && FOnKey) {
                if (const int key = ClassicKey(static_cast<QKeyEvent*>(Event)->key()))
                    FOnKey(key);
            } else if (Event->type() == QEvent::FocusOut && FOnExit) {
                FOnExit();
            }
        } catch (const std::exception& e) {
            ShowException(e);
        }
        return false;
    }

private:
    std::vector<QPointer<QObject>> FWatched;
    std::function<void(int)> FOnKey;
    std::function<void()> FOnExit;
};

void SetEnabled(std::initializer_list<QWidget*> Widgets, bool On)
{
    for (QWidget* w : Widgets)
        if (w)
            w->setEnabled(On);
}

void SetTextIfOther(QLineEdit* Edit, const QString& Text)
{
    if (Edit && Edit->text() != Text)
        Edit->setText(Text);
}

} // namespace

std::map<QString, int>& TfVYN::HandlerCalls()
{
    static std::map<QString, int> calls;
    return calls;
}

std::optional<int64_t> TfVYN::TempTextToTenths(const QString& Text)
{
    // Either decimal separator, no group separators, no "inf" or "nan".
    static const QRegularExpression number(
        QStringLiteral("^\\s*[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)([eE][+-]?\\d+)?\\s*$"));
    if (!number.match(Text).hasMatch())
        return std::nullopt;
    QString plain = Text.trimmed();
    plain.replace(u',', u'.');
    bool ok = false;
    const double value = plain.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    // Far beyond any position: clamp before the conversion to an integer.
    const double tenths = std::clamp(value * 10.0, -1e15, 1e15);
    return int64_t(std::nearbyint(tenths));
}

QString TfVYN::TenthsToTempText(int Tenths)
{
    return QLocale().toString(Tenths / 10.0, 'g', QLocale::FloatingPointShortest);
}

// ---------------------------------------------------------------- groups

void TfVYN::chSendEmailClick()
{
    Count("chSendEmailClick");
    SetEnabled({txtSMTPServer, txtToEmail, txtFromEmail, cmdSMTP_GIP, seEmailPeriod}, chSendEmail->isChecked());
}

void TfVYN::chSendTrapClick()
{
    Count("chSendTrapClick");
    SetEnabled({txtSNMPManager, cmdSNMP_GIP, txtKATime, txtWriteCommunity, txtReadCommunity}, chSendTrap->isChecked());
}

void TfVYN::chEnableURLGetClick()
{
    Count("chEnableURLGetClick");
    const bool on = chEnableURLGet->isChecked();
    txtGetURL->setEnabled(on);
    // The page itself may be disabled behind another one: only the edit's own
    // state counts.
    txtHttpIP->setEnabled(txtGetURL->isEnabledTo(pnlGET));
    cmdHTTP_GIP->setEnabled(on);
}

void TfVYN::cbTCPTypeChange()
{
    Count("cbTCPTypeChange");
    const int index = cbTCPType->currentIndex();
    SetEnabled({seSourcePort}, index == 0);
    SetEnabled({txtRemoteIP, seRemotePort, chKeepConn}, index == 1);
}

void TfVYN::cbTCPTypeClick()
{
    Count("cbTCPTypeClick");
    cbTCPTypeChange();
}

// ---------------------------------------------------------------- band

namespace {

struct TBandRefs {
    QLineEdit* Edit1;
    TUpDown* UD1;
    QLineEdit* Edit2;
    TUpDown* UD2;
};

// Sets the lock for a scope and puts back what it was.
class TLockScope
{
public:
    explicit TLockScope(bool& Lock) : FLock(Lock), FPrevious(Lock) { Lock = true; }
    ~TLockScope() { FLock = FPrevious; }
    TLockScope(const TLockScope&) = delete;
    TLockScope& operator=(const TLockScope&) = delete;

private:
    bool& FLock;
    bool FPrevious;
};

} // namespace

#define VYN_BAND(min) \
    TBandRefs { txt##min, ud##min, txt##min##2, ud##min##2 }

static void BandClick(TfVYN& W, const TBandRefs& B, QObject* Sender)
{
    if (W.FTempSyncLock)
        return;
    auto* ud = qobject_cast<TUpDown*>(Sender);
    if (!ud || (ud != B.UD1 && ud != B.UD2))
        return;
    const int16_t p = ud->Position();
    SetTextIfOther(B.Edit1, TfVYN::TenthsToTempText(p));
    SetTextIfOther(B.Edit2, B.Edit1->text());
    if (B.UD1 != ud)
        B.UD1->SetPosition(p);
    if (B.UD2 != ud)
        B.UD2->SetPosition(p);
}

static void BandChange(TfVYN& W, const TBandRefs& B, QObject* Sender)
{
    auto* edit = qobject_cast<QLineEdit*>(Sender);
    if (!edit)
        return;
    TLockScope lock(W.FTempSyncLock);
    // A text that is no number changes nothing; it stays for the operator.
    const std::optional<int64_t> v = TfVYN::TempTextToTenths(edit->text());
    if (!v)
        return;
    for (TUpDown* ud : {B.UD1, B.UD2})
        if (ud->Position() != *v)
            ud->SetPosition(*v);
    const QString text = edit->text();
    SetTextIfOther(B.Edit1, text);
    SetTextIfOther(B.Edit2, text);
}

static void BandExit(const TBandRefs& B)
{
    SetTextIfOther(B.Edit1, TfVYN::TenthsToTempText(B.UD1->Position()));
}

static void BandKeyDown(const TBandRefs& B, int Key)
{
    int step = 0;
    switch (Key) {
    case 13:
        break;
    case 38:
        step = 1;
        break;
    case 40:
        step = -1;
        break;
    case 33:
        step = 10;
        break;
    case 34:
        step = -10;
        break;
    default:
        return;
    }
    if (step)
        B.UD1->SetPosition(int64_t(B.UD1->Position()) + step);
    BandExit(B);
}

void TfVYN::udMinTempClick(QObject* Sender)
{
    Count("udMinTempClick");
    BandClick(*this, VYN_BAND(MinTemp), Sender);
}

void TfVYN::udMaxTempClick(QObject* Sender)
{
    Count("udMaxTempClick");
    BandClick(*this, VYN_BAND(MaxTemp), Sender);
}

void TfVYN::udHysterezeClick(QObject* Sender)
{
    Count("udHysterezeClick");
    BandClick(*this, VYN_BAND(Hystereze), Sender);
}

void TfVYN::txtMinTempChange(QObject* Sender)
{
    Count("txtMinTempChange");
    BandChange(*this, VYN_BAND(MinTemp), Sender);
}

void TfVYN::txtMaxTempChange(QObject* Sender)
{
    Count("txtMaxTempChange");
    BandChange(*this, VYN_BAND(MaxTemp), Sender);
}

void TfVYN::txtHysterezeChange(QObject* Sender)
{
    Count("txtHysterezeChange");
    BandChange(*this, VYN_BAND(Hystereze), Sender);
}

void TfVYN::txtMinTempExit()
{
    Count("txtMinTempExit");
    BandExit(VYN_BAND(MinTemp));
}

void TfVYN::txtMaxTempExit()
{
    Count("txtMaxTempExit");
    BandExit(VYN_BAND(MaxTemp));
}

void TfVYN::txtHysterezeExit()
{
    Count("txtHysterezeExit");
    BandExit(VYN_BAND(Hystereze));
}

void TfVYN::txtMinTempKeyDown(int Key)
{
    Count("txtMinTempKeyDown");
    BandKeyDown(VYN_BAND(MinTemp), Key);
}

void TfVYN::txtMaxTempKeyDown(int Key)
{
    Count("txtMaxTempKeyDown");
    BandKeyDown(VYN_BAND(MaxTemp), Key);
}

void TfVYN::txtHysterezeKeyDown(int Key)
{
    Count("txtHysterezeKeyDown");
    BandKeyDown(VYN_BAND(Hystereze), Key);
}

// ---------------------------------------------------------------- copies

void TfVYN::seIntervalChange(QObject* Sender)
{
    Count("seIntervalChange");
    auto* source = qobject_cast<QSpinBox*>(Sender);
    if (!source || FIntervalSyncLock)
        return;
    // One value inside every copy's range, so that no copy clamps it and
    // sends it round again.
    int v = source->value();
    for (int pass = 0; pass < 2; ++pass)
        for (QSpinBox* s : {seInterval, seInterval2, seInterval3})
            if (s)
                v = std::clamp(v, s->minimum(), s->maximum());
    TLockScope lock(FIntervalSyncLock);
    for (QSpinBox* s : {seInterval, seInterval2, seInterval3})
        if (s && s->value() != v)
            s->setValue(v);
}

void TfVYN::txtIDChange(QObject* Sender)
{
    Count("txtIDChange");
    auto* source = qobject_cast<QLineEdit*>(Sender);
    if (!source)
        return;
    for (QLineEdit* e : {txtID, txtID2})
        if (e && e != source)
            SetTextIfOther(e, source->text());
}

// ---------------------------------------------------------------- hosts

void TfVYN::txtSMTPServerKeyDown(int Key)
{
    Count("txtSMTPServerKeyDown");
    if (Key != 13)
        return;
    try {
        ResolveEditHost(txtSMTPServer, true, QString());
    } catch (const std::exception& e) {
        ShowMessageBox(MessageOf(e), platform::MB_ICONHAND, QString(), this);
    }
}

void TfVYN::cmdSMTP_GIPClick()
{
    Count("cmdSMTP_GIPClick");
    ResolveEditHost(txtSMTPServer, true, QString());
}

void TfVYN::txtSNMPManagerKeyDown(int Key)
{
    Count("txtSNMPManagerKeyDown");
    if (Key == 13)
        cmdSNMP_GIPTlacClick();
}

void TfVYN::cmdSNMP_GIPTlacClick()
{
    Count("cmdSNMP_GIPTlacClick");
    try {
        ResolveEditHost(txtSNMPManager, true, QString());
    } catch (const std::exception& e) {
        ShowMessageBox(MessageOf(e), platform::MB_ICONHAND, QString(), this);
    }
}

void TfVYN::txtGetURLKeyDown(int Key)
{
    Count("txtGetURLKeyDown");
    if (Key == 13)
        frmTlacitko1TlacClick();
}

void TfVYN::frmTlacitko1TlacClick()
{
    Count("frmTlacitko1TlacClick");
    try {
        QString host;
        QString path;
        uint16_t port = 80;
        ParseURL(txtGetURL->text(), host, port, path);
        if (!host.isEmpty()) {
            txtGetURL->setText(BuildURL(host, port, path));
            QString resolved = host;
            if (!ResolveHost(resolved, false, QString())) {
                txtHttpIP->setFocus();
                QString text = Language.GetText(
                    QStringLiteral("ServersJeMomenta"),
                    QStringLiteral("Server %s je momentálně nedostupný. Prosím vyplňte ručně IP adresu."));
                throw Exception(text.replace(QStringLiteral("%s"), host));
            }
            host = resolved;
        }
        txtHttpIP->setText(host);
    } catch (const std::exception& e) {
        ShowMessageBox(MessageOf(e), platform::MB_ICONHAND, QString(), this);
    }
}

void TfVYN::cmdHTTP_GIPTlacClick()
{
    Count("cmdHTTP_GIPTlacClick");
    cmdHTTP_GIP->TlacClick();
}

void TfVYN::txtReadCommunityChange()
{
    Count("txtReadCommunityChange");
}

void TfVYN::cmdCloseSetTlacClick()
{
    Count("cmdCloseSetTlacClick");
    CloseDevice();
}

// ---------------------------------------------------------------- wiring

void TfVYN::WireEditing()
{
    // Check boxes: their state changes, by the operator or the program.
    connect(chSendEmail, &QCheckBox::toggled, this, [this] { Guarded([this] { chSendEmailClick(); }); });
    connect(chSendTrap, &QCheckBox::toggled, this, [this] { Guarded([this] { chSendTrapClick(); }); });
    connect(chEnableURLGet, &QCheckBox::toggled, this, [this] { Guarded([this] { chEnableURLGetClick(); }); });
    // The connection type: the operator's choice only; the program runs the
    // handler itself after setting the index.
    connect(cbTCPType, &QComboBox::activated, this, [this] { Guarded([this] { cbTCPTypeClick(); }); });

    const struct {
        QLineEdit* Edit1;
        TUpDown* UD1;
        QLineEdit* Edit2;
        TUpDown* UD2;
        void (TfVYN::*Click)(QObject*);
        void (TfVYN::*Change)(QObject*);
        void (TfVYN::*Exit)();
        void (TfVYN::*KeyDown)(int);
    } bands[] = {
        {txtMinTemp, udMinTemp, txtMinTemp2, udMinTemp2, &TfVYN::udMinTempClick, &TfVYN::txtMinTempChange,
         &TfVYN::txtMinTempExit, &TfVYN::txtMinTempKeyDown},
        {txtMaxTemp, udMaxTemp, txtMaxTemp2, udMaxTemp2, &TfVYN::udMaxTempClick, &TfVYN::txtMaxTempChange,
         &TfVYN::txtMaxTempExit, &TfVYN::txtMaxTempKeyDown},
        {txtHystereze, udHystereze, txtHystereze2, udHystereze2, &TfVYN::udHysterezeClick,
         &TfVYN::txtHysterezeChange, &TfVYN::txtHysterezeExit, &TfVYN::txtHysterezeKeyDown},
    };
    for (const auto& band : bands) {
        const std::vector<QPointer<QObject>> watched{band.Edit1, band.UD1, band.Edit2, band.UD2};
        for (TUpDown* ud : {band.UD1, band.UD2})
            connect(ud, &TUpDown::Click, this,
                    [this, ud, click = band.Click] { Guarded([&] { (this->*click)(ud); }); });
        for (QLineEdit* edit : {band.Edit1, band.Edit2}) {
            connect(edit, &QLineEdit::textChanged, this,
                    [this, edit, change = band.Change] { Guarded([&] { (this->*change)(edit); }); });
            new TEditEvents(
                edit, watched, [this, key = band.KeyDown](int k) { (this->*key)(k); },
                [this, exit = band.Exit] { (this->*exit)(); });
        }
    }

    for (QSpinBox* spin : {seInterval, seInterval2, seInterval3})
        if (spin)
            connect(spin, &QSpinBox::valueChanged, this, [this, spin] { Guarded([&] { seIntervalChange(spin); }); });
    for (QLineEdit* edit : {txtID, txtID2})
        if (edit)
            connect(edit, &QLineEdit::textChanged, this, [this, edit] { Guarded([&] { txtIDChange(edit); }); });

    new TEditEvents(txtSMTPServer, {txtSMTPServer}, [this](int k) { txtSMTPServerKeyDown(k); }, nullptr);
    new TEditEvents(txtSNMPManager, {txtSNMPManager}, [this](int k) { txtSNMPManagerKeyDown(k); }, nullptr);
    for (QLineEdit* edit : {txtGetURL, txtHttpIP})
        new TEditEvents(edit, {txtGetURL, txtHttpIP}, [this](int k) { txtGetURLKeyDown(k); }, nullptr);
    for (QLineEdit* edit : {txtReadCommunity, txtWriteCommunity, txtKATime})
        connect(edit, &QLineEdit::textChanged, this, [this] { txtReadCommunityChange(); });

    // Failures of the SMTP button reach the error display; the others show
    // their own box.
    cmdSMTP_GIP->OnClick = [this](QObject*) { Guarded([this] { cmdSMTP_GIPClick(); }); };
    cmdSNMP_GIP->Tlac->OnClick = [this](QObject*) { Guarded([this] { cmdSNMP_GIPTlacClick(); }); };
    cmdHTTP_GIP->OnClick = [this](QObject*) { Guarded([this] { frmTlacitko1TlacClick(); }); };
    cmdHTTP_GIP->Tlac->OnClick = [this](QObject*) { Guarded([this] { cmdHTTP_GIPTlacClick(); }); };
    cmdCloseSet->Tlac->OnClick = [this](QObject*) { Guarded([this] { cmdCloseSetTlacClick(); }); };
}
