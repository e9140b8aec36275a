#pragma once

// The conversation window: the small tool window in which every device
// conversation runs and shows itself (search animation, progress bar and
// status line), and which also serves as a message window (text, icon, an
// OK button and an optional countdown that presses it).
//
// A creator makes one window per operation, shows it, runs conversations on
// it and closes it; closing frees it (Qt::WA_DeleteOnClose). Keep a
// QPointer<TfDataSender> (or watch destroyed()) to learn when it is gone.

#include "link/uf_DataSender_Conversations.h"
#include "link/uf_DataSender_Icons.h"
#include "link/uf_DataSender_Label.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace platform {
class TCommandView;
}

class TfDataSender : public QDialog, public TDataSenderConversations
{
    Q_OBJECT
public:
    // AOwner may be null. Port 0 means 30718. The window is not shown.
    TfDataSender(QWidget* AOwner, uint16_t Port, TDataManager* DataManager);
    ~TfDataSender() override;

    // Controls, named as the language files know them.
    TMessageLabel* lblCaption;
    QLabel* imgSit;
    TSearchAnimation* Anim;
    QProgressBar* Progressbar;
    QPushButton* cmdOK;
    // The commands of the text (platform/CommandText.h), under the text,
    // where they can be selected and copied; hidden when it has none.
    platform::TCommandView* txtCommand;
    QTimer* timTOut;

    int32_t Countdown = 0;   // seconds left on the OK button
    QString ButtonText;      // OK caption without the countdown
    bool FreeOnClose = false; // OK closes (and frees) rather than hides

    // The window grows as far as the text needs, within the screen, and
    // takes its designed size again for a text that fits that. Commands
    // marked in the text stand below the whole text, each on a line of its
    // own as wide as it needs, within the screen (scrolling sideways beyond).
    void SetCaption(const QString& Text) override;
    // The text as last set, commands and their marks included.
    const QString& Caption() const { return FCaption; }
    void SetProgress(uint8_t Value) override;

    // Message mode. Flags is a classic message-box value; as a whole it
    // picks the icon (64 information, 48 warning, 16 error, 32 question,
    // 1 or 5 red cross, 0 green tick; anything else keeps the picture).
    // An empty Text keeps the status line. Modal: returns when the window
    // has been closed or hidden by its button (a closed window is then
    // freed once control is back in the event loop).
    void ShowMessage(const QString& Text, const QString& ButtonText, int32_t Countdown, uint32_t Flags, bool Modal);
    void ShowMessageEx(const QString& Text, const QString& ButtonText, int32_t Countdown, uint32_t Flags, bool Modal,
                       bool FreeOnClose);
    // A message in a window of its own (no owner, no model).
    static QPointer<TfDataSender> ShowDeviceMessage(const QString& Text, const QString& ButtonText,
                                                    int32_t Countdown, uint32_t Flags, bool Modal);

    // One second of the countdown; the OK button.
    void timTOutTimer();
    void cmdOKClick();

protected:
    // Closing frees the window; not while a conversation runs on it.
    void closeEvent(QCloseEvent* event) override;
    // Escape works as the OK button while the button is shown.
    void reject() override;
    // The window's frame is known once it shows: the text is fitted again
    // within the screen with it.
    void showEvent(QShowEvent* event) override;

    void ShowSearchingLook() override;
    void ShowTransferLook() override;
    void StartAnimation() override;
    void StopAnimation() override;
    void AnimationStep() override;
    int Ask(const QString& Text, const QString& Caption, unsigned Flags) override;
    // The OK button goes while a conversation runs; a countdown that ran out
    // meanwhile closes the window when it ends. An owner that goes away
    // meanwhile leaves the window to be freed then, not under the
    // conversation.
    void ConversationStarted() override;
    void ConversationFinished() override;

private:
    void FormCreate();
    // The text box wider and taller than designed by that much; the
    // commands take the bottom of it.
    void Place(int Wider, int Taller);
    void FitText();
    // The height the text and the commands under it take at a width.
    int TextHeight(int Width) const;
    void RunModal();
    void OwnerDestroyed();

    QString FCaption; // as set, commands included
    bool FClosed = false;
    bool FClosePending = false;
    bool FOrphaned = false;
};
