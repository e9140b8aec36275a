#include "link/uf_DataSender.h"

#include "lang/uLanguage.h"
#include "platform/CommandText.h"
#include "platform/CommandView.h"
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

// The window as designed; a message too long for its text box widens and
// lengthens the box, and the window and the controls right of and below the
// text move with it.
constexpr QSize DesignSize(428, 77);
constexpr QRect DesignLabel(48, 12, 289, 61);
constexpr QRect DesignProgress(48, 48, 361, 16);
constexpr QRect DesignButton(344, 48, 75, 25);
// Kept free between the text and the commands below it.
constexpr int CommandGap = 6;

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
    setFixedSize(DesignSize);

    // Messages carry the device's own words: plain text, never markup.
    lblCaption = new TMessageLabel(this);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));

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
    Progressbar->setRange(0, 100);
    Progressbar->setValue(0);
    Progressbar->setTextVisible(false);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->hide();
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOKClick(); });

    // After the button, so that the button comes first to the focus.
    txtCommand = new platform::TCommandView(this);
    txtCommand->setObjectName(QStringLiteral("txtCommand"));
    txtCommand->hide();

    Place(0, 0);

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
    if (Text == FCaption)
        return;
    FCaption = Text;
    const platform::MessageParts parts = platform::SplitCommands(Text);
    lblCaption->setText(parts.text);
    txtCommand->SetCommands(parts.commands);
    txtCommand->setVisible(!parts.commands.isEmpty());
    FitText();
}

// ---------------------------------------------------------------- size

void TfDataSender::Place(int Wider, int Taller)
{
    // The commands at the bottom of the text box, level with the button.
    QRect text = DesignLabel.adjusted(0, 0, Wider, Taller);
    if (!txtCommand->Lines().isEmpty()) {
        const int height = txtCommand->heightForWidth(text.width());
        txtCommand->setGeometry(text.left(), text.bottom() + 1 - height, text.width(), height);
        text.setBottom(std::max(text.top() - 1, text.bottom() - height - (lblCaption->text().isEmpty() ? 0 : CommandGap)));
    }
    lblCaption->setGeometry(text);
    Progressbar->setGeometry(DesignProgress.translated(0, Taller).adjusted(0, 0, Wider, 0));
    cmdOK->setGeometry(DesignButton.translated(Wider, Taller));
    const QSize size = DesignSize + QSize(Wider, Taller);
    if (size == this->size())
        return;
    // The frame keeps its centre, within the screen.
    const QSize frameExtra = frameGeometry().size() - this->size();
    QRect frame(QPoint(), size + frameExtra);
    frame.moveCenter(frameGeometry().center());
    setFixedSize(size);
    if (const QScreen* s = screen()) {
        const QRect room = s->availableGeometry();
        frame.moveLeft(std::max(room.left(), std::min(frame.left(), room.right() + 1 - frame.width())));
        frame.moveTop(std::max(room.top(), std::min(frame.top(), room.bottom() + 1 - frame.height())));
    }
    move(frame.topLeft());
}

int TfDataSender::TextHeight(int Width) const
{
    const int text = lblCaption->heightForWidth(Width);
    if (txtCommand->Lines().isEmpty())
        return text;
    return text + (lblCaption->text().isEmpty() ? 0 : CommandGap) + txtCommand->heightForWidth(Width);
}

void TfDataSender::FitText()
{
    const int width = DesignLabel.width();
    const int height = DesignLabel.height();
    // Room for the text on the screen: the screen less the window's frame
    // and what lies around the text.
    QSize room(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (const QScreen* s = screen())
        room = s->availableGeometry().size() - (frameGeometry().size() - size()) - (DesignSize - DesignLabel.size());
    // The design when all fits it. Else the commands whole first, as far as
    // the screen allows; then wider, up to twice the design's width: the
    // narrowest width at which the text keeps the design's height. Longer
    // texts grow downwards there, and take the whole screen's width only
    // when it is needed.
    const int least = std::max(width, std::min(txtCommand->FullWidth(), room.width()));
    const int wide = std::max(least, std::min(2 * width, room.width()));
    int fits = wide;
    if (TextHeight(least) <= height) {
        fits = least;
    } else if (TextHeight(wide) <= height) {
        for (int low = least; fits - low > 1;) {
            const int middle = (low + fits) / 2;
            (TextHeight(middle) <= height ? fits : low) = middle;
        }
    } else if (TextHeight(wide) > room.height()) {
        fits = std::max(wide, room.width());
    }
    Place(fits - width, std::clamp(TextHeight(fits), height, std::max(height, room.height())) - height);
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

void TfDataSender::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FitText();
}

void TfDataSender::reject()
{
    if (cmdOK->isVisible())
        cmdOKClick();
}
