// Saving the pages to the device, and the default values.
#include "app/uf_VYN.h"

#include "app/MyUtils.h"
#include "app/RoadWindow.h"
#include "app/VYN16App.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_Tlacitko.h"
#include "lang/uLanguage.h"
#include "link/u_ARPTx.h"
#include "link/uf_DataSender.h"
#include "model/u_DevData.h"
#include "model/u_DevData_Text.h"
#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "storage/uCOB.h"

#include <QBuffer>
#include <QProgressBar>

#include <algorithm>
#include <exception>
#include <span>

namespace {

const QString CRLF = QStringLiteral("\r\n");
const QString UploadName = QStringLiteral("WEB6");
const QByteArray SoapEntryName = QByteArrayLiteral("postsoap.xml");

// The device takes the document in one image block; a larger one would go up
// as an image without it, or not at all.
QString TooLargeText()
{
    return Lang("SOAPPrilisVelky", "SOAP dokument se nevejde do bloku zařízení (nejvýše 65535 B).");
}

bool ItemBool(TDataManager* Model, const QString& Path)
{
    return Model && Model->FindItem(Path) && Model->GetValue(Path).ToBool();
}

// The image the device's web server takes: the document as "postsoap.xml"
// without an HTTP header of its own, or no entry at all, which removes a
// stored document. Empty when the image cannot be built whole, so that
// nothing incomplete is sent.
QByteArray BuildUploadImage(const QByteArray& Document)
{
    TCOBFileStorage image;
    if (!Document.isEmpty()) {
        TMFSFile* entry = image.AddFile(-1);
        entry->Data = Document;
        entry->FileName = SoapEntryName;
        image.SetHttpHeader(image.GetCount() - 1, QByteArray());
    }
    const qint64 expected = image.BuildImage().size();
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    const qint64 written = image.SaveToStream(stream);
    if (expected == 0 || written != expected || stream.size() != expected)
        return QByteArray();
    return stream.data();
}

} // namespace

TfVYN::TTftpPut TfVYN::TftpPutHook;

bool TfVYN::DeviceSoapDocUnknown() const
{
    // The flag is the device's own word from the last load, or what a save
    // since then wrote in its name.
    return FDeviceSoapDoc.isEmpty() && ItemBool(FDataManager.get(), QStringLiteral("soap_file_available"));
}

void TfVYN::WireSaveCommands()
{
    cmdSaveVals->OnClick = [this](QObject*) { Guarded([this] { cmdSaveValsTlacClick(); }); };
    cmdDefaultVal->OnClick = [this](QObject*) { Guarded([this] { cmdDefaultValTlacClick(); }); };
}

void TfVYN::cmdDefaultValTlacClick()
{
    if (RoadBusy())
        return;
    // Only the pages change; the device gets the defaults with the next save.
    FDataManager->ApplyDefaults();
    DataToControls();
}

QString TfVYN::SaveFailureText(const TWriteCounts& Counts)
{
    if (Counts.Acked == 0)
        return Lang("Nastavenízaříze", "Nastavení zařízení se nezdařilo.");
    if (Counts.Acked < Counts.Sent)
        return Lang("Nastavenízaříze0", "Nastavení zařízení se nezdařilo kompletně");
    return QString();
}

void TfVYN::cmdSaveValsTlacClick()
{
    if (RoadBusy())
        return;
    // Held through the questions and the waits too: the conversations let
    // events run, and a second road would change the records being written.
    TRoadGuard road(*this);

    try {
        if (!ControlsToData())
            return;
        // The header takes the URL as Enter would give it: a path typed
        // without Enter is in the document that goes up.
        if (ItemBool(FDataManager.get(), QStringLiteral("enable_soap")))
            SyncSoapHeaderFromURL();
        DataToControls();
        EndMeasure();

        const uint32_t newIP = IPSet->GetIP();
        if (newIP != 0 && !ARPManager().IsLocalSubnet(newIP)) {
            const QString text = Lang("IPadresaktero", "IP adresa, kterou chcete přiřadit (") + IPToStr(newIP) +
                                 Lang("nepříslušíste", ") nepřísluší stejné podsíti jako tento počítač.") + CRLF +
                                 Lang("Chcetejipřesto", "Chcete ji přesto přiřadit?");
            if (ShowMessageBox(text, platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2,
                               Lang("Varování", "Varování"), this) != platform::IDYES)
                return;
        }

        TMACBuffer resolved{};
        if (ARPManager().ResolveMAC(newIP, resolved)) {
            std::array<uint8_t, 6> other{};
            std::copy_n(resolved.begin(), other.size(), other.begin());
            if (!IsZeroMAC(other) && other != FDevMAC) {
                const QString text = Lang("IPadresa", "IP adresa ") + IPToStr(newIP) +
                                     Lang("jižjepřiřazen", " již je přiřazena jinému zařízení v síti (") +
                                     MACToStr(other) +
                                     Lang("amohlobydoj", ") a mohlo by dojít ke konfliktu.") + CRLF +
                                     Lang("Chcetepřestopo", "Chcete přesto pokračovat?");
                if (ShowMessageBox(text, platform::MB_YESNO | platform::MB_ICONQUESTION | platform::MB_DEFBUTTON2,
                                   Lang("Varování0", "Varování"), this) != platform::IDYES)
                    return;
            }
        }
    } catch (const std::exception& e) {
        ShowMessageBox(ExceptionText(e), platform::MB_ICONHAND, QStringLiteral("VYN"), this);
        return;
    }

    const bool wasLoaded = FDeviceLoaded;
    TWriteCounts counts;
    // One conversation window serves the write, the wait and the reload: a
    // new one for each step cost a window's making and first paint each.
    // Closing frees the window once events run: a closed one is not used
    // again.
    QPointer<TfDataSender> window = new TfDataSender(this, 0, FDataManager.get());
    const auto closeWindow = [&] {
        if (window)
            window->close();
        window = nullptr;
    };
    const bool written = WriteToDevice(window, &counts);

    const QString okText = Lang("OK", "OK");
    if (!written) {
        closeWindow();
        const QString text = SaveFailureText(counts);
        if (!text.isEmpty())
            TfDataSender::ShowDeviceMessage(text, okText, 0, platform::MB_ICONEXCLAMATION, true);
        // Nothing reached the device: what the operator typed stays on the
        // pages and in the model, and the device stays open for another try.
        if (counts.Acked == 0) {
            FDeviceLoaded = wasLoaded;
            return;
        }
    }

    // The device may answer at the new address of its settings: by MAC first.
    if (!window)
        window = new TfDataSender(this, 0, FDataManager.get());
    try {
        window->show();
        window->Port = DefaultDevicePort;
        const QString macText = MACToStr(FDevMAC);
        QString found;
        window->WaitForDevice(macText, QString(), found);
        uint32_t foundIP = 0;
        if (!found.isEmpty() && TryStrictStrToIP(found, foundIP)) {
            DevicePort = DefaultDevicePort;
            FindDevice(foundIP, window, FDevMAC);
            closeWindow();
            UpdateDeviceState();
            return;
        }

        window->Port = DevicePort;
        QString mac;
        window->FindMACByIP(IPToStr(FDevIP), QString(), mac, false);
        if (!mac.isEmpty() && mac.compare(macText, Qt::CaseInsensitive) == 0) {
            FindDevice(FDevIP, window, FDevMAC);
            closeWindow();
            UpdateDeviceState();
            return;
        }
        FDeviceLoaded = false;
        window->ShowMessage(Lang("Zařízenínebylo4", "Zařízení nebylo nalezeno."), okText, 0,
                            platform::MB_ICONEXCLAMATION, true);
        UpdateDeviceState();
    } catch (const std::exception& e) {
        if (window)
            window->ShowMessage(ExceptionText(e), okText, 0, platform::MB_ICONHAND, true);
        else
            TfDataSender::ShowDeviceMessage(ExceptionText(e), okText, 0, platform::MB_ICONHAND, true);
    }
    closeWindow();
}

bool TfVYN::WriteToDevice(TfDataSender* Sender, TWriteCounts* Counts)
{
    TWriteCounts counts;
    if (Counts)
        *Counts = counts;
    if (!FDeviceLoaded || IsZeroMAC(FDevMAC))
        return false;
    TRoadGuard road(*this);

    bool result = false;
    const TRoadWindow window(this, Sender, FDataManager.get());

    try {
        const QString macText = MACToStr(FDevMAC);
        window->CloseSocket();
        window->show();
        window->Port = DevicePort;
        QString mac;
        window->FindMACByIP(IPToStr(FDevIP), QString(), mac, false);
        QString address;
        if (!mac.isEmpty() && mac.compare(macText, Qt::CaseInsensitive) == 0) {
            address = IPToStr(FDevIP);
        } else {
            DevicePort = DefaultDevicePort;
            window->Port = DefaultDevicePort;
            window->FindIPByMAC(macText, QString(), address, false);
        }

        uint32_t ip = 0;
        if (address.isEmpty() || !TryStrictStrToIP(address, ip) || !TARPManager::IsValidIP(address)) {
            window.Message(address.isEmpty() ? Lang("Zařízenínebylo3", "Zařízení nebylo nalezeno")
                                             : Lang("ChybnáIPadresa0", "Chybná IP adresa."),
                           0, address.isEmpty() ? platform::MB_ICONEXCLAMATION : platform::MB_ICONHAND);
            window.CloseOwn();
            return false;
        }
        FDevIP = ip;
        window->show();
        window->CloseSocket();

        bool uploaded = false;
        bool uploadFailed = false;
        QString uploadReason;
        QByteArray document;
        // Not fetched, the device's document is unknown: an image with the
        // editor's empty document would delete it. Only the operator's own
        // change of the document replaces it.
        const bool deviceDocUnknown = DeviceSoapDocUnknown();
        if (ItemBool(FDataManager.get(), QStringLiteral("enable_soap"))) {
            // The document's own size check comes first: an oversized one
            // counts as an upload that failed, and nothing goes up.
            bool tooLarge = false;
            try {
                document = BuildSoapDocument(true);
            } catch (const std::exception&) {
                tooLarge = true;
            }
            const bool changed = deviceDocUnknown
                                     ? FSoapDocEdited && (tooLarge || !document.isEmpty() || FSoapDocDeleted)
                                     : tooLarge || FDeviceSoapDoc.isEmpty() || FDeviceSoapDoc != document;
            if (changed) {
                window->PrepareTransfer2(address);
                window->SetCaption(Lang("NahravamSOAPDoku", "Nahrávám SOAP dokument ..."));
                window->repaint();
                try {
                    const QByteArray image = tooLarge ? QByteArray() : BuildUploadImage(document);
                    if (image.isEmpty()) {
                        tooLarge = true;
                        throw Exception(TooLargeText());
                    }
                    // The bar was painted empty with the window.
                    FProgressBar = window->Progressbar;
                    window->Progressbar->setValue(window->Progressbar->minimum());
                    platform::TftpOptions options;
                    options.LocalAddress = LocalAdapterIP;
                    const TTftpPut& put = TftpPutHook ? TftpPutHook : TTftpPut(platform::TftpPut);
                    put(address, UploadName, image, options, SoapTransferEvents(false));
                    uploaded = true;
                } catch (const std::exception& e) {
                    uploadFailed = true;
                    // The device's own words when it refused the image.
                    uploadReason = tooLarge ? TooLargeText() : ExceptionText(e);
                }
                FProgressBar = nullptr;
            }
        }

        // What the device holds now: the document just sent (an empty one
        // removed the stored one), else what it held at the last load, also
        // when that could not be fetched.
        if (uploaded) {
            FDeviceSoapDoc = document;
            FSoapDocEdited = FSoapDocDeleted = false;
        }
        const bool holdsDocument = !FDeviceSoapDoc.isEmpty() || (!uploaded && deviceDocUnknown);
        if (FDataManager->FindItem(QStringLiteral("soap_file_available")))
            FDataManager->SetValue(QStringLiteral("soap_file_available"), holdsDocument);

        window->PrepareTransfer2(address);
        window->WriteAllRecords(true);
        counts.Sent = window->RecordsTotal;
        counts.Acked = window->RecordsDone;
        if (Counts)
            *Counts = counts;
        FDeviceLoaded = window->RecordsDone >= window->RecordsTotal;
        result = FDeviceLoaded;

        if (uploadFailed) {
            QString text = Lang("NepodariloSeNahr", "Nepodařilo se nahrát SOAP dokument.");
            if (!uploadReason.isEmpty())
                text += CRLF + uploadReason;
            window.Message(text, 10, platform::MB_ICONEXCLAMATION);
        }
        window.CloseOwn();
    } catch (const std::exception& e) {
        FProgressBar = nullptr;
        window.Message(ExceptionText(e), 0, platform::MB_ICONHAND);
        window.CloseOwn();
    }
    return result;
}
