// Giving a device a new address through the wizard.
#include "app/uf_VYN.h"

#include "app/MyUtils.h"
#include "app/VYN16App.h"
#include "app/uf_IPWiz.h"
#include "lang/uLanguage.h"
#include "link/uf_DataSender.h"
#include "model/u_DevData_Text.h"
#include "platform/Exception.h"
#include "platform/MessageBox.h"

#include <QPointer>

void TfVYN::menuSetIPTlacClick()
{
    if (RoadBusy())
        return;
    // From the wizard's first search to the reload, no other road may
    // start: they would share the model and the device.
    const TRoadGuard road(*this);

    std::array<uint8_t, 6> mac = FDevMAC;
    uint32_t ip = 0;
    uint32_t mask = 0;
    uint32_t gateway = 0;
    if (TfSetIPWiz::Execute(FDataManager.get(), mac, ip, mask, gateway, false) != TfSetIPWiz::ResultSet)
        return;

    const bool sameDevice = mac == FDevMAC && FDeviceLoaded;
    if (!sameDevice &&
        ShowMessageBox(Language.GetText(QStringLiteral("Chcetetotozaří"),
                                        QStringLiteral("Chcete toto zařízení nastavit?")),
                       platform::MB_YESNO | platform::MB_ICONQUESTION, QString(), this) != platform::IDYES)
        return;

    QPointer<TfDataSender> sender;
    try {
        FollowDevice(mac, sameDevice, sender);
    } catch (const std::exception& e) {
        const auto* own = dynamic_cast<const Exception*>(&e);
        const QString text = own ? own->Message() : QString::fromUtf8(e.what());
        try {
            if (!sender)
                sender = new TfDataSender(this, 0, FDataManager.get());
            sender->ShowMessage(text, QStringLiteral("OK"), 0, platform::MB_ICONHAND, true);
        } catch (const std::exception& shown) {
            // No window for it: the application's error display then.
            ShowException(shown);
        }
    }
    // The messages close their window themselves; only a live one is left.
    if (sender)
        sender->close();
}

// Waits for the device at its new address and loads it there. Sender is
// the window in use, for the error message of the caller.
void TfVYN::FollowDevice(const std::array<uint8_t, 6>& MAC, bool SameDevice, QPointer<TfDataSender>& Sender)
{
    Sender = new TfDataSender(this, 0, FDataManager.get());
    Sender->show();
    QString found;
    Sender->WaitForDevice(MACToStr(MAC), QString(), found);
    if (!found.isEmpty()) {
        if (Sender)
            Sender->close();
        FindDevice(0, nullptr, MAC);
        UpdateDeviceState();
        return;
    }
    if (!Sender)
        Sender = new TfDataSender(this, 0, FDataManager.get());
    // The same text under two keys: a language file may tell the cases apart.
    const QString text =
        SameDevice ? Language.GetText(QStringLiteral("Zařízenínebylo"), QStringLiteral("Zařízení nebylo nalezeno."))
                   : Language.GetText(QStringLiteral("Zařízenínebylo0"), QStringLiteral("Zařízení nebylo nalezeno."));
    Sender->ShowMessage(text, QStringLiteral("OK"), 0, platform::MB_ICONEXCLAMATION, true);
    FDeviceLoaded = false;
    UpdateDeviceState();
}
