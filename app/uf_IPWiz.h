#pragma once

// The IP-assignment wizard: the operator types the MAC of a device, the
// wizard finds it by broadcast and proposes its present network settings,
// and sets the new ones, directly or through a temporary static ARP entry.

#include <QDialog>
#include <QPointer>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QWidget;
class TDataManager;
class TfDataSender;
class Tfrm_IPSet;

class TfSetIPWiz : public QDialog
{
    Q_OBJECT

public:
    // What Execute returns.
    enum : int32_t {
        ResultCancel = 2,
        ResultSet = 6,
        ResultFailed = 7,
        ResultStart = 8, // at the start and after "Again"
    };

    TfSetIPWiz(QWidget* AOwner, TDataManager* DataManager);
    ~TfSetIPWiz() override;

    // Runs the wizard modally with MAC proposed (all zero: none). MAC and
    // the three addresses (network order, mask 0 for the device's standard
    // one) change only when the result is ResultSet.
    static int32_t Execute(TDataManager* DataManager, std::array<uint8_t, 6>& MAC, uint32_t& IP, uint32_t& Mask,
                           uint32_t& Gateway, bool AllowAgain);
    // Runs in place of the modal loop when set (tests drive the wizard).
    static std::function<void(TfSetIPWiz&)> ModalHook;

    // Controls, named as the language files know them.
    QFrame* Shape1 = nullptr;
    QLabel* img = nullptr;
    QStackedWidget* Pages = nullptr;
    QWidget* pnlMAC = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* txtMAC = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* cmdMAC_Next = nullptr;
    QPushButton* cmdMAC_Cancel = nullptr;
    QWidget* pnlIP = nullptr;
    QLabel* Label3 = nullptr;
    Tfrm_IPSet* IPSet = nullptr;
    QPushButton* cmdSetIP = nullptr;
    QPushButton* cmdIP_Back = nullptr;
    QWidget* pnlFinish = nullptr;
    QLabel* imgSit = nullptr;
    QLabel* lblFinish = nullptr;
    QLabel* lblAgain = nullptr;
    QPushButton* cmdFin_Again = nullptr;
    QPushButton* cmdFinish = nullptr;

    int32_t ResultCode = ResultStart;
    std::array<uint8_t, 6> MAC{};
    bool AllowAgain = false;
    // The conversation window in use; it frees itself when closed.
    QPointer<TfDataSender> Sender;
    TDataManager* DataManager = nullptr;

    // The settings sent by the last set, as the device was given them.
    uint32_t SentIP = 0;
    uint32_t SentMask = 0;
    uint32_t SentGateway = 0;

    // A device conversation runs on behalf of the wizard.
    bool Busy() const { return FBusy > 0; }

    void ShowPage(QWidget* Page);
    void GoToIPPage();
    void ShowFinish(const QString& Text, int Icon);
    TfDataSender* GetSender();
    void CloseSender();
    void FindIPByMAC(const QString& MACText, QString& IP);

    void cmdMAC_NextClick();
    void cmdMAC_CancelClick();
    void cmdSetIPClick();
    void cmdIP_BackClick();
    void cmdFinishClick();
    void cmdFin_AgainClick();

protected:
    // Escape: the front page's cancel button.
    void reject() override;
    // The close box keeps the current result; refused while a conversation
    // runs.
    void closeEvent(QCloseEvent* event) override;

private:
    class TBusy;
    void BuildLayout();
    // The device work's failure, shown in a conversation window.
    void ShowError(const QString& Text);
    // Strictly checked settings of the IP page; false when any is unusable.
    bool ReadSettings(uint32_t& IP, uint32_t& Mask, uint32_t& Gateway) const;

    int FBusy = 0;
};
