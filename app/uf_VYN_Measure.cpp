// The temperature display.
#include "app/uf_VYN.h"

#include "app/MyUtils.h"
#include "app/VYN16App.h"
#include "app/ufrm_Tlacitko.h"
#include "lang/uLanguage.h"
#include "link/uf_DataSender_Conversations.h"
#include "model/u_DevData.h"
#include "model/uf_DM.h"
#include "platform/HttpClient.h"

#include <QLabel>
#include <QLocale>
#include <QTimer>

#include <exception>

namespace {

constexpr int MeritTimeoutMs = 1000;
constexpr int64_t MeritMaxPage = 64 * 1024;
constexpr int MaxShownDeviceText = 32;
constexpr int MaxFailsKept = 3;

const QString UnknownTemperature = QStringLiteral("??? °C");

// Optional sign and decimal digits within 32 bits.
bool ParseTenths(const QString& Text, int64_t& Value)
{
    if (Text.isEmpty())
        return false;
    qsizetype i = 0;
    const bool negative = Text[0] == u'-';
    if (Text[0] == u'-' || Text[0] == u'+')
        ++i;
    if (i == Text.size())
        return false;
    int64_t value = 0;
    for (; i < Text.size(); ++i) {
        const QChar c = Text[i];
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
        if (value > int64_t(1) << 31)
            return false;
    }
    Value = negative ? -value : value;
    return Value >= INT32_MIN && Value <= INT32_MAX;
}

} // namespace

void TfVYN::BuildMeasure()
{
    // The reading may be any text the device sends.
    lblMerit->setTextFormat(Qt::PlainText);
    cmdMerit->OnClick = [this](QObject*) {
        try {
            cmdMeritTlacClick();
        } catch (const std::exception& e) {
            ShowException(e);
        }
    };
    connect(timMerit, &QTimer::timeout, this, [this] {
        try {
            timMeritTimer();
        } catch (const std::exception& e) {
            ShowException(e);
        }
    });
}

void TfVYN::cmdMeritTlacClick()
{
    if (FDeviceLoaded) {
        if (!timMerit->isActive())
            BeginMeasure();
        else
            EndMeasure();
    } else {
        EndMeasure();
        cmdMerit->hide();
    }
}

void TfVYN::BeginMeasure()
{
    lblMerit->clear();
    cmdMerit->setVisible(FDeviceLoaded);
    cmdMerit->SetCaption(Language.GetText(QStringLiteral("Stop"), QStringLiteral("Stop")));
    timMerit->start();
    lblMerit->show();
    timMeritTimer();
}

void TfVYN::EndMeasure()
{
    cmdMerit->setVisible(FDeviceLoaded);
    cmdMerit->SetCaption(Language.GetText(QStringLiteral("Měřit0"), QStringLiteral("Měřit")));
    timMerit->stop();
    lblMerit->hide();
    lblMerit->clear();
}

QString TfVYN::MeritURL() const
{
    int port = 80;
    if (FDataManager && FDataManager->FindItem(QStringLiteral("web_port")))
        port = FDataManager->GetValue(QStringLiteral("web_port")).ToInt32();
    // Port 0 is no port to connect to; the device's web server then keeps
    // its standard one.
    QString url = QStringLiteral("http://") + IPAddrToStr(FDevIP);
    if (port != 80 && port != 0)
        url += u':' + QString::number(port);
    return url + QStringLiteral("/vyn.xml");
}

QString TfVYN::TemperatureText(const QString& Tenths)
{
    const QString text = Tenths.trimmed();
    int64_t value = 0;
    if (!ParseTenths(text, value)) {
        // The device's own text, as plain text of a size the label can hold.
        QString shown = Tenths.simplified();
        if (shown.size() > MaxShownDeviceText)
            shown = shown.left(MaxShownDeviceText);
        return shown;
    }
    const int64_t magnitude = value < 0 ? -value : value;
    QString result = value < 0 ? QStringLiteral("-") : QString();
    result += QString::number(magnitude / 10);
    if (magnitude % 10 != 0)
        result += QLocale().decimalPoint() + QString::number(magnitude % 10);
    return result + QString::fromUtf8("°C");
}

void TfVYN::timMeritTimer()
{
    if (!FDeviceLoaded) {
        EndMeasure();
        return;
    }
    // The reading blocks without running events, so no tick starts inside
    // another; a road's conversation does run them, and its device is left
    // alone meanwhile.
    if (FMeritTicking || RoadBusy())
        return;
    FMeritTicking = true;
    struct TTickEnd
    {
        TfVYN& W;
        ~TTickEnd()
        {
            W.FMeritTicking = false;
            if (fDM)
                fDM->XML_Temp.Close();
        }
    } tickEnd{*this};

    try {
        fDM->XML_Temp.Close();
        platform::HttpOptions options;
        options.ConnectTimeoutMs = MeritTimeoutMs;
        options.ReadTimeoutMs = MeritTimeoutMs;
        options.TotalTimeoutMs = MeritTimeoutMs;
        options.MaxBody = MeritMaxPage;
        options.LocalAddress = LocalAdapterIP;
        const QByteArray page = platform::HttpGet(MeritURL(), options);
        fDM->XML_Temp.LoadFromBytes(page);
        fDM->XML_Temp.Open();
        const QString tenths =
            fDM->XML_Temp.DocumentElement().firstChildElement(QStringLiteral("temperature")).text();
        // An empty or absent element is a reading of no value: the display
        // empties.
        lblMerit->setText(TemperatureText(tenths));
        FMeritFailCount = 0;
    } catch (const std::exception&) {
        ++FMeritFailCount;
        if (FMeritFailCount > MaxFailsKept || lblMerit->text().isEmpty()) {
            lblMerit->setText(UnknownTemperature);
            FMeritFailCount = 0;
        }
    }
}
