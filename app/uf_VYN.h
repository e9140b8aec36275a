#pragma once

#include "link/u_ARPTx.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

class QAction;
class QCloseEvent;
class QLabel;
class QMenu;
class QProgressBar;
class QTimer;
class TDataManager;
class TfDM;
class TPanel;
class TfrmLMenuH;
class TfrmTlacitko;
class TfrmTlacMenu;
class Tfrm_IPSet;
class TfDataSender;
class QCheckBox;
class QLineEdit;

// The one data module, holding the device mapping document. The main window
// owns it; null while no main window exists.
extern TfDM* fDM;

// The TCP client of the temperature display. The window configures it with
// the device's address whenever the device state changes and disconnects it
// on the way out; nothing connects it.
class TTcpClient : public QObject
{
    Q_OBJECT

public:
    explicit TTcpClient(QObject* parent, const QString& name);

    QString Host;
    quint16 Port = 0;
    int ReadTimeout = 50;

    bool Connected() const { return false; }
    void Disconnect() {}
};

// The main window: device search menus, the device panel with its settings
// pages and command buttons, and the temperature display.
class TfVYN : public QWidget
{
    Q_OBJECT

public:
    // Checks the device mapping document ("VYN.dmi" in the working
    // directory, else the built-in one), builds the device model and runs
    // the create handler. Raises Exception with the text to show when the
    // document is unusable. SettingsFile empty: DefaultSettingsFile().
    explicit TfVYN(QWidget* Owner = nullptr, const QString& SettingsFile = QString());
    ~TfVYN() override;

    // "vyn.ini" in the program folder.
    static QString DefaultSettingsFile();
    const QString& SettingsFile() const { return FSettingsFile; }

    // "mm:ss" of a number of seconds; minutes are not limited to 59.
    static QString SecondsToTimeText(int Seconds);
    // Seconds of "s", "m:s" or "h:m:s" (parts without range limits). Raises
    // Exception with the "BadTimeFormat" text for anything else.
    static int TimeTextToSeconds(const QString& Text);

    void FormCreate();
    void FormClose();

    // Handlers of the top-menu buttons: show the hint of the button under
    // the mouse in the title strip, and clear it again.
    void TopMenuEnter(QObject* Sender);
    void TopMenuLeave(QObject* Sender);

    // Switches between the no-device and the device-loaded look.
    void UpdateDeviceState();
    // No left-menu item selected, settings holder hidden.
    void DeselectLMenu();
    // Within the item's parent (the left menu for none), only Item is
    // selected.
    void SelectLMenu(TfrmLMenuH* Item);
    // The adapter menu's items: the item's tag becomes the adapter address.
    void mSelAdaptClick(QObject* Sender);
    // Text lengths and ranges of the page controls from the model's items.
    bool SetControlLimits();

    // One road at a time. The conversations let window events run between
    // their steps, so a second command could start a nested road that clears
    // the records under the running one. While a road runs (RoadBusy), every
    // command that starts one returns at once and closing is refused.
    bool RoadBusy() const { return FRoadBusy; }
    class TRoadGuard
    {
    public:
        explicit TRoadGuard(TfVYN& Window) : FWindow(Window), FPrevious(Window.FRoadBusy) { Window.FRoadBusy = true; }
        ~TRoadGuard() { FWindow.FRoadBusy = FPrevious; }
        TRoadGuard(const TRoadGuard&) = delete;
        TRoadGuard& operator=(const TRoadGuard&) = delete;

    private:
        TfVYN& FWindow;
        bool FPrevious;
    };

    // --- Finding and loading a device (uf_VYN_Device.cpp) ---
    void menuIPTlacClick();
    void menuMACTlacClick();
    void cmdLoadValsTlacClick();
    // True when every setup record was read. IP 0 / MAC all zero: unknown.
    // Sender: a conversation window to use, or null for one of its own.
    bool FindDevice(uint32_t IP, TfDataSender* Sender, const std::array<uint8_t, 6>& MAC);

    // --- Setting the device IP (uf_VYN_SetIP.cpp) ---
    void menuSetIPTlacClick();
    // After the wizard set it: waits for the device by MAC and loads it.
    void FollowDevice(const std::array<uint8_t, 6>& MAC, bool SameDevice, QPointer<TfDataSender>& Sender);

    // --- Settings pages (uf_VYN_Pages.cpp) ---
    bool DataToControls();
    // Raises the failure (after ShowErrorPlace) when a control does not hold
    // a storable value.
    bool ControlsToData();
    void ShowErrorPlace();

    // --- SOAP document (uf_VYN_Soap.cpp) ---
    // The whole document as the device or a file holds it (bytes).
    void SetSoapDocument(const QByteArray& Document);
    // The first Host field's value / the first request line's path, or
    // empty; the settings pages read them when the SOAP URL has no host or
    // path.
    QString GetSoapHeaderHost() const;
    QString GetSoapPostPath() const;
    // The header's request line and Host field follow txtSOAP_URL.
    void SyncSoapHeaderFromURL();
    // The SOAP page's controls that the settings mapping reads; the SOAP
    // pages build them.
    QCheckBox* chEnableSOAP = nullptr;
    QCheckBox* chEditSoapDoc = nullptr;
    QLineEdit* txtSOAP_URL = nullptr;
    QLineEdit* txtSoapIP = nullptr;

    // --- Temperature display (uf_VYN_Measure.cpp) ---
    void BeginMeasure();
    void EndMeasure();

    // --- Page menu, adapter, language, keys (uf_VYN_Commands.cpp) ---
    // Page null means pnlNone.
    void ShowPage(QWidget* Page, bool BringToFront);
    void ShowCurrentIP(uint32_t IP);
    void CloseDevice();
    void LMenuClick(QObject* Sender);

    // Components, named as the language files address them.
    TPanel* pnlHeader = nullptr;
    TfrmTlacMenu* menuIP = nullptr;
    TfrmTlacMenu* menuMAC = nullptr;
    TfrmTlacMenu* menuSetIP = nullptr;
    TPanel* pnlTitulek = nullptr;
    QLabel* lblTitulek = nullptr;
    QLabel* lblCurrentAdapter = nullptr;
    TfrmTlacitko* cmdSelAdapter = nullptr;
    QMenu* pmSelAdapt = nullptr;
    QAction* mSelAdapt = nullptr;
    TPanel* pnlClient = nullptr;
    TPanel* pnlNone = nullptr;
    QLabel* imgVYN = nullptr;
    QLabel* lblNone = nullptr;
    TPanel* pnlDevSetup = nullptr;
    TPanel* pnlSetupLista = nullptr;
    QLabel* lblMACTitle = nullptr;
    TfrmTlacitko* cmdCloseSet = nullptr;
    TPanel* pnlLMenu = nullptr;
    TfrmLMenuH* lmTempSet = nullptr;
    TfrmLMenuH* lmCommon = nullptr;
    TfrmLMenuH* lmEmail = nullptr;
    TfrmLMenuH* lmSNMP = nullptr;
    TfrmLMenuH* lmTCP = nullptr;
    TfrmLMenuH* lmGet = nullptr;
    TfrmLMenuH* lmSoap = nullptr;
    TfrmLMenuH* lmNetSet = nullptr;
    TPanel* pnlMerit = nullptr;
    QLabel* lblMerit = nullptr;
    TfrmTlacitko* cmdMerit = nullptr;
    TPanel* pnlSettings = nullptr;
    TPanel* pnlSettingsHold = nullptr;
    TPanel* pnlSettingsCaption = nullptr;
    TPanel* pnlCommon = nullptr;
    TPanel* pnlEmail = nullptr;
    TPanel* pnlSNMP = nullptr;
    TPanel* pnlTCP = nullptr;
    TPanel* pnlGET = nullptr;
    TPanel* pnlSOAP = nullptr;
    TPanel* pnlSoapDoc = nullptr;
    TPanel* pnlNetSet = nullptr;
    Tfrm_IPSet* IPSet = nullptr;
    TPanel* pnlButtons = nullptr;
    TfrmTlacitko* cmdDefaultVal = nullptr;
    TfrmTlacitko* cmdLoadVals = nullptr;
    TfrmTlacitko* cmdSaveVals = nullptr;
    QTimer* timMerit = nullptr;
    TTcpClient* tcpMerit = nullptr;

    // The window's state, which its commands share.
    std::unique_ptr<TDataManager> FDataManager;
    // Every setup record of the current device was read (or written) and
    // its identity check passed.
    bool FDeviceLoaded = false;
    std::array<uint8_t, 6> FDevMAC{};  // all zero: none
    uint32_t FDevIP = 0;               // 0: none
    uint32_t FLastIP = 0;              // last IP searched for; stored on close
    std::array<uint8_t, 6> FLastMAC{}; // last MAC searched for; stored on close
    int FMeritFailCount = 0;
    bool FTempSyncLock = false;
    // The conversation window's bar while a transfer runs.
    QPointer<QProgressBar> FProgressBar;
    bool FSoapSyncLock = false;
    AAdapterIPAddresses FAdapters;
    int FAdapterCount = 0;
    QByteArray FSoapBody;
    QByteArray FDeviceSoapDoc;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Owns the data module and keeps fDM pointing at it, also when the
    // constructor fails halfway.
    class TDataModuleOwner
    {
    public:
        TDataModuleOwner() = default;
        TDataModuleOwner(const TDataModuleOwner&) = delete;
        TDataModuleOwner& operator=(const TDataModuleOwner&) = delete;
        ~TDataModuleOwner();
        void Create();
        void Reset();
        TfDM* operator->() const { return FModule.get(); }

    private:
        std::unique_ptr<TfDM> FModule;
    };

    void BuildLayout();
    void LoadMappingDocument();
    void PostCloseRequest();
    [[noreturn]] void FailMapping(const QString& Key, const QString& Default);

    QString FSettingsFile;
    TDataModuleOwner FDM;
    bool FRoadBusy = false;
};
