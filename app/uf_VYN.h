#pragma once

#include "link/u_ARPTx.h"
#include "platform/TftpClient.h"
#include "platform/Transfer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAction;
class QCloseEvent;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
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
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QAbstractButton;
class QSpinBox;
class TUpDown;

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
    // Points the search and load frames at the commands above; an error
    // leaving a command goes to the application's error display.
    void WireDeviceCommands();
    // The MAC prompt: the system's input query unless a test answers it
    // here. Text comes in as the proposal and goes out as typed; true for OK.
    using TInputQuery =
        std::function<bool(QWidget* Owner, const QString& Title, const QString& Prompt, QString& Text)>;
    static TInputQuery InputQueryHook;

    // --- Saving (uf_VYN_Save.cpp) ---
    void cmdSaveValsTlacClick();
    void cmdDefaultValTlacClick();
    // The records of a write batch: sent, and acknowledged at least once
    // (both 0 when no batch went out).
    struct TWriteCounts
    {
        int32_t Sent = 0;
        int32_t Acked = 0;
    };
    // Finds the device again, uploads the SOAP document when it changed and
    // writes every loaded record. True when every record sent was
    // acknowledged. Sender: a conversation window to use, or null for one
    // of its own.
    bool WriteToDevice(TfDataSender* Sender, TWriteCounts* Counts = nullptr);
    // The message after a write that was not complete; empty when every
    // record sent was acknowledged.
    static QString SaveFailureText(const TWriteCounts& Counts);
    // Points the save and defaults frames at the commands above.
    void WireSaveCommands();
    // The upload of the image; the platform's TFTP client unless a test
    // stands in here.
    using TTftpPut = std::function<void(const QString& Host, const QString& RemoteName, const QByteArray& Data,
                                        const platform::TftpOptions& Options,
                                        const platform::TransferEvents& Events)>;
    static TTftpPut TftpPutHook;

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

    // --- Settings pages: building (uf_VYN_Page*.cpp), mapping
    // (uf_VYN_Pages.cpp) and field editing (uf_VYN_Editing.cpp) ---
    // Text lengths and ranges of the page controls from the model's items.
    bool SetControlLimits();
    // Host-name look-ups of the pages; a null resolver restores the system's.
    // Answers the first address of the name (memory bytes in text order), 0
    // when it has none.
    using THostResolver = std::function<uint32_t(const QString& Name)>;
    static void SetHostResolver(THostResolver Resolver);
    // Empty host: "0.0.0.0"; an address stays; a name becomes the dotted
    // text of its address. False, or with Raise the failure, otherwise.
    bool ResolveHost(QString& Host, bool Raise, const QString& ErrorText);
    bool ResolveEditHost(QLineEdit* Edit, bool Raise, const QString& ErrorText);
    // The place ControlsToData shows when it fails.
    void PageMenuOf(QWidget* Page);
    void SetCurrentControl(QWidget* Control);
    // A band edit's text in tenths of a degree: either decimal separator,
    // halves to even; empty when the text is no plain number.
    static std::optional<int64_t> TempTextToTenths(const QString& Text);
    static QString TenthsToTempText(int Tenths);

    // Field-editing handlers.
    void chSendEmailClick();
    void chSendTrapClick();
    void chEnableURLGetClick();
    void cbTCPTypeChange();
    void cbTCPTypeClick();
    void udMinTempClick(QObject* Sender);
    void udMaxTempClick(QObject* Sender);
    void udHysterezeClick(QObject* Sender);
    void txtMinTempChange(QObject* Sender);
    void txtMaxTempChange(QObject* Sender);
    void txtHysterezeChange(QObject* Sender);
    void txtMinTempExit();
    void txtMaxTempExit();
    void txtHysterezeExit();
    // Key codes of the classic keyboard (13 Enter, 33/34 page, 38/40 arrows).
    void txtMinTempKeyDown(int Key);
    void txtMaxTempKeyDown(int Key);
    void txtHysterezeKeyDown(int Key);
    void seIntervalChange(QObject* Sender);
    void txtIDChange(QObject* Sender);
    void txtSMTPServerKeyDown(int Key);
    void cmdSMTP_GIPClick();
    void txtSNMPManagerKeyDown(int Key);
    void cmdSNMP_GIPTlacClick();
    void txtGetURLKeyDown(int Key);
    void frmTlacitko1TlacClick();
    void cmdHTTP_GIPTlacClick();
    void txtReadCommunityChange();
    void cmdCloseSetTlacClick();
    // Calls of each handler by name, for watching that none runs in a loop.
    static std::map<QString, int>& HandlerCalls();
    // The left-menu items and the pages they show.
    std::vector<std::pair<TfrmLMenuH*, QWidget*>> MenuPages() const;

    QLineEdit* txtVYNName = nullptr;
    QSpinBox* seWebPort = nullptr;
    QCheckBox* chSendEmail = nullptr;
    QLineEdit* txtSMTPServer = nullptr;
    TfrmTlacitko* cmdSMTP_GIP = nullptr;
    QSpinBox* seEmailPeriod = nullptr;
    QLineEdit* txtFromEmail = nullptr;
    QLineEdit* txtToEmail = nullptr;
    QLineEdit* txtMinTemp = nullptr;
    TUpDown* udMinTemp = nullptr;
    QLineEdit* txtMaxTemp = nullptr;
    TUpDown* udMaxTemp = nullptr;
    QLineEdit* txtHystereze = nullptr;
    TUpDown* udHystereze = nullptr;
    QCheckBox* chSendTrap = nullptr;
    QLineEdit* txtSNMPManager = nullptr;
    TfrmTlacitko* cmdSNMP_GIP = nullptr;
    QLineEdit* txtReadCommunity = nullptr;
    QLineEdit* txtWriteCommunity = nullptr;
    QLabel* lblKATime = nullptr;
    QLineEdit* txtKATime = nullptr;
    QLineEdit* txtMinTemp2 = nullptr;
    TUpDown* udMinTemp2 = nullptr;
    QLineEdit* txtMaxTemp2 = nullptr;
    TUpDown* udMaxTemp2 = nullptr;
    QLineEdit* txtHystereze2 = nullptr;
    TUpDown* udHystereze2 = nullptr;
    QComboBox* cbTCPType = nullptr;
    QSpinBox* seSourcePort = nullptr;
    QLineEdit* txtRemoteIP = nullptr;
    QSpinBox* seRemotePort = nullptr;
    QCheckBox* chKeepConn = nullptr;
    QSpinBox* seInterval = nullptr;
    QCheckBox* chEnableURLGet = nullptr;
    QLineEdit* txtGetURL = nullptr;
    TfrmTlacitko* cmdHTTP_GIP = nullptr;
    QLineEdit* txtHttpIP = nullptr;
    QSpinBox* seInterval2 = nullptr;
    QLineEdit* txtID = nullptr;
    QLabel* lblCurrentIP = nullptr;
    // The SOAP page's period and GUID copies; the SOAP pages build them.
    QSpinBox* seInterval3 = nullptr;
    QLineEdit* txtID2 = nullptr;

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
    // The document to upload: header, CR LF CR LF, body, in the document's
    // own encoding; empty when EmptyBody is set and there is no body. Raises
    // the size message when it would not fit one image block.
    QByteArray BuildSoapDocument(bool EmptyBody);
    // Header lines (CR LF, LF or CR between them) into the header memo,
    // followed by the on-screen Content-length line.
    void SetSoapHeader(const QString& Header);
    // The header memo's lines joined by CR LF, without empty lines and
    // Content-Length fields; fields come back as "name: value".
    QString GetSoapHeader() const;
    void SetSoapBody(const QByteArray& Body);
    // A body read from a file: its encoding decided anew.
    void SetSoapBodyFromFile(const QByteArray& Body);
    // Raises the size message for a file over SoapFileLimit.
    static void CheckSoapFileSize(qint64 Size);
    // The four default header lines: the no-separator set or the
    // empty-document set.
    static QStringList SoapHeaderSet(bool NoSeparator);
    // A "name: value" field line; false for the request line, a line that
    // starts with a blank or one without a colon.
    static bool ParseHeaderLine(const QString& Line, QString& Name, QString& Value);
    static constexpr int SoapFileLimit = 65500;
    // Builds pnlSOAP and pnlSoapDoc and binds their events.
    void BuildSoapPages();
    static constexpr int SoapDocumentLimit = 65535;

    void chEnableSOAPClick();
    void cmdSoap_GIPClick();
    void cmdChngSoapClick();
    void cmdSoapDocBackClick();
    void cmdLoadSoapClick();
    void cmdDelSoapClick();
    void mSoapHeadChange();
    void mSoapDocChange();
    void mSoapDocEnter();
    void mSoapDocExit();
    void chEditSoapDocClick();
    void imgDocITClick();
    void imgDocIGClick();
    // Progress of a transfer on FProgressBar; only reading moves the bar.
    void HTTPWorkBegin(bool Reading, int64_t Total);
    void HTTPWork(bool Reading, int64_t Count);
    void HTTPWorkEnd(bool Reading);
    // Sets FProgressBar and paints it now, or, within a frame of its last
    // paint, once events run: a transfer reports every chunk.
    void ShowProgress(int Value);
    // The three handlers bound to a transfer's events.
    platform::TransferEvents SoapTransferEvents(bool Reading);

    // Seams: the file choice (FilterIndex 1 XML, 2 document with header,
    // 3 all files; false when cancelled) and the host-name look-up (0 when
    // the name does not resolve). Unset: the real dialog and resolver.
    std::function<bool(QString& FileName, int& FilterIndex)> odSoapExecute;
    std::function<uint32_t(const QString& Name)> SoapResolveHost;

    TfrmTlacitko* cmdSoap_GIP = nullptr;
    TfrmTlacitko* cmdChngSoap = nullptr;
    TfrmTlacitko* cmdDelSoap = nullptr;
    QLabel* lblSoapStat = nullptr;
    TfrmTlacitko* cmdSoapDocBack = nullptr;
    TfrmTlacitko* cmdLoadSoap = nullptr;
    QPlainTextEdit* mSoapHead = nullptr;
    QPlainTextEdit* mSoapDoc = nullptr;
    TPanel* pnlEditSoapDoc = nullptr;
    QAbstractButton* imgDocIT = nullptr;
    QAbstractButton* imgDocIG = nullptr;
    QWidget* shpDocIT = nullptr;
    QWidget* shpDocIG = nullptr;
    // The document was valid UTF-8 when taken in (else windows-1250); an
    // edit is encoded back the same way.
    bool FSoapUtf8 = true;
    // The operator changed the document since it was last taken in: typed
    // into the header or the body, loaded a file, deleted the body, or
    // changed the URL so that the header followed. After a failed fetch
    // only such a document may replace the one the device holds.
    bool FSoapDocEdited = false;
    // The operator deleted the body with its command. A document the device
    // holds but the load could not fetch is removed only so: an empty body
    // after a mere header change is the failed fetch, not the operator's word.
    bool FSoapDocDeleted = false;
    // The device said it holds a document, but none was fetched from it.
    bool DeviceSoapDocUnknown() const;

    // A header grid under the header memo, never shown, with its pop-up
    // commands; the document does not read it.
    QTableView* sgSoapHeader = nullptr;
    QMenu* pmSoapHeader = nullptr;
    QAction* Pidatdek1 = nullptr;
    QAction* Odstranitdek1 = nullptr;
    // One row more at the end.
    void Pidatdek1Click();
    // The rows below the selected one move up; the last goes.
    void Odstranitdek1Click();

    // --- Temperature display (uf_VYN_Measure.cpp) ---
    void BeginMeasure();
    void EndMeasure();
    // Binds cmdMerit and timMerit.
    void BuildMeasure();
    void cmdMeritTlacClick();
    void timMeritTimer();
    // "http://IP[:web_port]/vyn.xml"
    QString MeritURL() const;
    // The display text of the status page's temperature (tenths): "23,5°C"
    // with the locale's decimal mark; other text plain and shortened.
    static QString TemperatureText(const QString& Tenths);
    bool FMeritTicking = false;

    // --- Page menu, adapter, language, keys (uf_VYN_Commands.cpp) ---
    // Page null means pnlNone.
    void ShowPage(QWidget* Page, bool BringToFront);
    void ShowCurrentIP(uint32_t IP);
    void CloseDevice();
    void LMenuClick(QObject* Sender);
    // Reads the adapters anew and pops the adapter menu up under its button.
    void cmdSelAdapterTlacClick();
    void FillAdapterMenu();
    // The flags: Czech (cesky.lng) and English (english.lng) from the
    // program folder. A missing or broken file raises its failure.
    void Image2Click();
    void Image3Click();
    // Qt's own texts (standard buttons, input dialogs) in the language of
    // the loaded file.
    void ApplyQtTranslation();
    // What follows every load of a language file, at start-up too: Qt's own
    // texts, and frames of fixed width grown to fit their captions.
    void LanguageLoaded();
    // After a language switch: the texts the program sets while it runs,
    // in the new language, and frames wide enough for their captions.
    void RefreshRunTimeTexts();
    // Key seen before the focused control; Key becomes 0 when consumed.
    void FormKeyDown(int& Key, Qt::KeyboardModifiers Shift, const QString& Text);
    // The window's texts as a template "form.xml" in the working folder.
    void cmdSaveFormClick();
    void imgLogoClick();
    void FooterlblKavreloClick();
    void Button1Click();
    QLabel* imgLogo = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Image3 = nullptr;
    TPanel* pnlFooter = nullptr;
    QLabel* lblKavrelo = nullptr;
    QPushButton* cmdSaveForm = nullptr;
    QPushButton* Button1 = nullptr;
    // The address ShowCurrentIP shows, to show it again after a switch.
    uint32_t FCurrentIPShown = 0;
    void BuildCommands();

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
    QElapsedTimer FProgressPainted;
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
    // The settings pages' controls and their handlers.
    void BuildSettingsPages();
    void BuildPageCommon();
    void BuildPageAlarms();
    void BuildPageSending();
    void BuildPageNet();
    void WireEditing();
    // ControlsToData's failure place.
    QWidget* FErrorPage = nullptr;
    TfrmLMenuH* FErrorMenu = nullptr;
    QWidget* FErrorControl = nullptr;
    bool FIntervalSyncLock = false;
    void LoadMappingDocument();
    void PostCloseRequest();
    [[noreturn]] void FailMapping(const QString& Key, const QString& Default);

    QString FSettingsFile;
    TDataModuleOwner FDM;
    bool FRoadBusy = false;
};
