#include "link/uf_DataSender.h"

#include "lang/uLanguage.h"
#include "platform/MessageBox.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

// The image of the window's image list that a message-box flag value stands
// for, or -1 to keep the picture. The value counts as a whole: 52 (warning
// icon with Yes/No buttons) is not 48.
int IconForFlags(uint32_t Flags)
{
    switch (Flags) {
    case 64: return iconInformation;
    case 48: return iconWarning;
    case 16: return iconError;
    case 32: return iconQuestion;
    case 1:
    case 5: return iconCross;
    case 0: return iconTick;
    default: return -1;
    }
}

QString WithCountdown(const QString& text, int32_t seconds)
{
    return text + QStringLiteral(" [") + QString::number(seconds) + QStringLiteral("]");
}

// A conversation sets its progress and status line for every datagram, and
// the progress bar repaints the whole window at once on each step: that cost
// more than the datagrams. While a conversation runs, the window is painted
// at most once per frame interval; a paint asked for sooner is held and comes
// when the interval is over, so the last state always shows. The controls
// themselves always hold the current values; outside conversations every
// paint goes through at once.
class TRepaintPacer : public QObject
{
public:
    TRepaintPacer(TfDataSender* Window, std::function<bool()> Conversing)
        : QObject(Window), FWindow(Window), FConversing(std::move(Conversing))
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const qreal hz = screen ? screen->refreshRate() : 0;
        FIntervalMs = hz >= 20 && hz <= 240 ? qRound(1000.0 / hz) : 16;
        FHeld.setSingleShot(true);
        connect(&FHeld, &QTimer::timeout, this, [this] {
            // The repaint manager still counts the held request as sent.
            QCoreApplication::postEvent(FWindow, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
        });
        FLastPaint.start();
        Window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Watched != FWindow || Event->type() != QEvent::UpdateRequest)
            return false;
        const qint64 since = FLastPaint.elapsed();
        if (since < FIntervalMs && FConversing()) {
            if (!FHeld.isActive())
                FHeld.start(int(FIntervalMs - since));
            return true;
        }
        FHeld.stop();
        FLastPaint.restart();
        return false;
    }

private:
    TfDataSender* FWindow;
    std::function<bool()> FConversing;
    QTimer FHeld;
    QElapsedTimer FLastPaint;
    int FIntervalMs = 16;
};

} // namespace

TfDataSender::TfDataSender(QWidget* AOwner, uint16_t Port, TDataManager* DataManager)
    : QDialog(AOwner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      TDataSenderConversations(Port, DataManager)
{
    setObjectName(QStringLiteral("fDataSender"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Komunikace..."));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(428, 77);

    lblCaption = new QLabel(this);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    lblCaption->setGeometry(48, 12, 289, 61);
    lblCaption->setWordWrap(true);
    // Messages carry the device's own words: never markup.
    lblCaption->setTextFormat(Qt::PlainText);
    lblCaption->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    imgSit = new QLabel(this);
    imgSit->setObjectName(QStringLiteral("imgSit"));
    imgSit->setAttribute(Qt::WA_TranslucentBackground);
    imgSit->setPixmap(DataSenderGlobe());
    imgSit->setGeometry(8, 8, 28, 31);
    imgSit->hide();

    Anim = new TSearchAnimation(this);
    Anim->setObjectName(QStringLiteral("Anim"));
    Anim->move(8, 8);

    Progressbar = new QProgressBar(this);
    Progressbar->setObjectName(QStringLiteral("Progressbar"));
    Progressbar->setGeometry(48, 48, 361, 16);
    Progressbar->setRange(0, 100);
    Progressbar->setValue(0);
    Progressbar->setTextVisible(false);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(344, 48, 75, 25);
    cmdOK->setDefault(true);
    cmdOK->hide();
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOKClick(); });

    timTOut = new QTimer(this);
    timTOut->setObjectName(QStringLiteral("timTOut"));
    timTOut->setInterval(0);
    connect(timTOut, &QTimer::timeout, this, [this] { timTOutTimer(); });

    if (const QScreen* screen = AOwner ? AOwner->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // The owner says it goes before it frees its children (a direct call).
    if (AOwner)
        connect(AOwner, &QObject::destroyed, this, [this] { OwnerDestroyed(); }, Qt::DirectConnection);

    new TRepaintPacer(this, [this] { return Conversing(); });
    FormCreate();
}

TfDataSender::~TfDataSender()
{
    timTOut->stop();
}

void TfDataSender::FormCreate()
{
    setWindowTitle(Language.GetText(QStringLiteral("Komunikace"), QStringLiteral("Komunikace...")));
}

void TfDataSender::SetCaption(const QString& Text)
{
    lblCaption->setText(Text);
}

void TfDataSender::SetProgress(uint8_t Value)
{
    Progressbar->setValue(std::min<int>(Value, Progressbar->maximum()));
}

// ---------------------------------------------------------------- looks

void TfDataSender::ShowSearchingLook()
{
    Anim->show();
    Progressbar->hide();
    imgSit->hide();
}

void TfDataSender::ShowTransferLook()
{
    Anim->Stop();
    Anim->hide();
    Progressbar->setValue(0);
    Progressbar->show();
    imgSit->show();
}

void TfDataSender::StartAnimation()
{
    Anim->Play();
}

void TfDataSender::StopAnimation()
{
    Anim->Stop();
}

void TfDataSender::AnimationStep()
{
    Anim->Tick();
}

int TfDataSender::Ask(const QString& Text, const QString& Caption, unsigned Flags)
{
    return platform::MessageBox(this, Text, Caption, Flags);
}

// ---------------------------------------------------------------- lifetime

void TfDataSender::OwnerDestroyed()
{
    // Freed with its owner as usual, unless a conversation runs on it: then
    // it leaves the owner and goes once the conversation has returned.
    if (!Conversing())
        return;
    FOrphaned = true;
    timTOut->stop();
    setParent(nullptr, windowFlags());
}

void TfDataSender::ConversationStarted()
{
    cmdOK->hide();
}

void TfDataSender::ConversationFinished()
{
    if (FOrphaned) {
        deleteLater();
        return;
    }
    if (FClosePending) {
        FClosePending = false;
        cmdOKClick();
    }
}

// ---------------------------------------------------------------- message mode

void TfDataSender::ShowMessage(const QString& Text, const QString& ButtonText, int32_t Countdown, uint32_t Flags,
                               bool Modal)
{
    ShowMessageEx(Text, ButtonText, Countdown, Flags, Modal, true);
}

void TfDataSender::ShowMessageEx(const QString& Text, const QString& ButtonText, int32_t Countdown, uint32_t Flags,
                                 bool Modal, bool FreeOnClose)
{
    this->FreeOnClose = FreeOnClose;
    if (Countdown > 0)
        this->Countdown = Countdown;
    this->ButtonText = ButtonText;
    if (!Text.isEmpty())
        SetCaption(Text);

    Anim->Stop();
    Anim->hide();
    Progressbar->hide();
    imgSit->show();

    const int icon = IconForFlags(Flags);
    if (icon >= 0) {
        imgSit->setPixmap(DataSenderIcon(icon));
        imgSit->resize(DataSenderIconSize, DataSenderIconSize);
    }

    timTOut->stop();
    FClosePending = false;
    if (Countdown > 0) {
        cmdOK->setText(WithCountdown(ButtonText, this->Countdown));
        timTOut->setInterval(1000);
        timTOut->start();
    } else {
        cmdOK->setText(ButtonText);
    }
    cmdOK->show();

    if (Modal)
        RunModal();
    else if (!isVisible())
        show();
}

QPointer<TfDataSender> TfDataSender::ShowDeviceMessage(const QString& Text, const QString& ButtonText,
                                                       int32_t Countdown, uint32_t Flags, bool Modal)
{
    // Frees itself when closed.
    QPointer<TfDataSender> window = new TfDataSender(nullptr, 0, nullptr);
    window->ShowMessage(Text, ButtonText, Countdown, Flags, Modal);
    return window;
}

void TfDataSender::RunModal()
{
    hide();
    // exec() would free a window that was only hidden by its button; this
    // window is freed only when it was closed.
    setAttribute(Qt::WA_DeleteOnClose, false);
    FClosed = false;
    const QPointer<TfDataSender> self(this);
    exec();
    if (!self)
        return;
    setAttribute(Qt::WA_DeleteOnClose, true);
    if (FClosed)
        deleteLater();
}

void TfDataSender::timTOutTimer()
{
    --Countdown;
    if (Countdown >= 0) {
        cmdOK->setText(WithCountdown(ButtonText, Countdown));
    } else {
        timTOut->stop();
        // Closing is refused while a conversation runs: it closes when that ends.
        if (Conversing())
            FClosePending = true;
        else
            cmdOKClick();
    }
}

void TfDataSender::cmdOKClick()
{
    if (FreeOnClose)
        close();
    else
        hide();
}

void TfDataSender::closeEvent(QCloseEvent* event)
{
    // The conversation on the stack still uses the window and its socket.
    if (Conversing()) {
        event->ignore();
        return;
    }
    timTOut->stop();
    FClosed = true;
    event->accept();
}

void TfDataSender::reject()
{
    if (cmdOK->isVisible())
        cmdOKClick();
}
