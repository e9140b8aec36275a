// The temperature display on an offscreen main window, reading status pages
// from a small server of the test's own on loopback; the end-to-end load
// test reads it from the simulated device.
#include "MainWindowFixture.h"
#include "XvfbRun.h"
#include "tests/app/DeviceIdentity.h"

#include "app/MyUtils.h"
#include "app/ufrm_Tlacitko.h"
#include "model/u_DevData.h"
#include "support/QStringPrint.h"

#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <thread>

namespace {

std::string Page(const std::string& status, const std::string& body, const std::string& extra = {})
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/xml\r\n" + extra +
           "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string Temperature(const std::string& text)
{
    return Page("200 OK", "<?xml version=\"1.0\"?>\n<vyn><temperature>" + text + "</temperature></vyn>\n");
}

// Answers every connection with the reply of the moment.
class StatusServer
{
public:
    StatusServer() : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof a;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(m_fd, 8);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        Port = ntohs(a.sin_port);
        m_thread = std::thread([this] {
            for (int c; (c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ::close(c)) {
                std::string request(4096, '\0');
                request.resize(size_t(std::max<ssize_t>(0, ::recv(c, request.data(), request.size(), 0))));
                std::lock_guard<std::mutex> lock(m_mutex);
                ::send(c, m_reply.data(), m_reply.size(), MSG_NOSIGNAL);
            }
        });
    }
    ~StatusServer()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
    }
    void Serve(const std::string& reply)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reply = reply;
    }

    int Port = 0;

private:
    int m_fd;
    std::mutex m_mutex; // guards the reply
    std::string m_reply;
    std::thread m_thread;
};

class MeasureTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::Czech));
        w = std::make_unique<TfVYN>(nullptr, ini);
        w->FDeviceLoaded = true;
        w->FDevIP = StrToIPAddr("127.0.0.1");
        GiveSupportedIdentity(*w);
        w->UpdateDeviceState();
        w->FDataManager->SetValue("web_port", Variant(int32_t(server.Port)));
    }
    void TearDown() override
    {
        w.reset();
        QLocale::setDefault(QLocale::c());
        MainWindowTest::TearDown();
    }

    StatusServer server;
    std::unique_ptr<TfVYN> w;
};

} // namespace

TEST_F(MeasureTest, TemperatureTextFromTenths)
{
    const struct {
        const char* tenths;
        const char* shown;
    } rows[] = {{"235", "23,5°C"}, {"230", "23°C"}, {"5", "0,5°C"}, {"-5", "-0,5°C"}, {"-50", "-5°C"},
                {"0", "0°C"},     {"-0", "0°C"},    {"+5", "0,5°C"}, {" 5\n", "0,5°C"}, {"abc", "abc"},
                {"2147483648", "2147483648"}, {"-2147483648", "-214748364,8°C"}, {"1.5", "1.5"},
                {"0123456789012345678901234567890123456789", "01234567890123456789012345678901"}};
    for (const auto& row : rows)
        EXPECT_EQ(TfVYN::TemperatureText(QString::fromUtf8(row.tenths)), QString::fromUtf8(row.shown)) << row.tenths;
}

TEST_F(MeasureTest, FailuresAreCountedBeforeTheDisplayGivesUp)
{
    // A failing first reading shows the unknown value at once.
    server.Serve(Page("500 Internal Server Error", "x"));
    w->cmdMeritTlacClick();
    EXPECT_TRUE(w->timMerit->isActive());
    EXPECT_EQ(w->cmdMerit->Caption(), "Stop");
    EXPECT_TRUE(w->lblMerit->isVisibleTo(w.get()));
    EXPECT_EQ(w->lblMerit->text(), QString::fromUtf8("??? °C"));

    const std::string failures[] = {
        Page("302 Found", "", "Location: /vyn.xml\r\n"),
        Page("200 OK", "<vyn><temperature>2"),
        "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<vyn><temperature>1</temperature>" + std::string(200000, ' ') + "</vyn>",
        Page("500 Internal Server Error", Temperature("1")),
        Page("404 Not Found", "x"),
    };
    // Each failure, three in a row kept, the fourth given up.
    for (const std::string& failure : failures) {
        server.Serve(Temperature("235"));
        w->timMeritTimer();
        ASSERT_EQ(w->lblMerit->text(), QString::fromUtf8("23,5°C"));
        for (int i = 1; i <= 4; ++i) {
            server.Serve(failure);
            w->timMeritTimer();
            EXPECT_EQ(w->lblMerit->text(), QString::fromUtf8(i < 4 ? "23,5°C" : "??? °C"))
                << failure.substr(0, 40) << " #" << i;
        }
    }

    // Device text is shown as plain text.
    server.Serve(Temperature("&lt;b&gt;x&lt;/b&gt;"));
    w->timMeritTimer();
    EXPECT_EQ(w->lblMerit->textFormat(), Qt::PlainText);
}

// A page that holds no value is a reading all the same: the display
// empties and the failures counted so far are forgotten.
TEST_F(MeasureTest, AnEmptyOrAbsentTemperatureEmptiesTheDisplay)
{
    const std::string empties[] = {
        Temperature(""),
        Temperature(" \n "),
        Page("200 OK", "<vyn><other>1</other></vyn>"),
        Page("200 OK", "<vyn/>"),
    };
    w->BeginMeasure();
    for (const std::string& empty : empties) {
        server.Serve(Temperature("235"));
        w->timMeritTimer();
        server.Serve(Page("404 Not Found", "x"));
        w->timMeritTimer();
        w->timMeritTimer();
        ASSERT_EQ(w->FMeritFailCount, 2) << empty;
        server.Serve(empty);
        w->timMeritTimer();
        EXPECT_EQ(w->lblMerit->text(), QString()) << empty;
        EXPECT_EQ(w->FMeritFailCount, 0) << empty;
        EXPECT_TRUE(w->timMerit->isActive());
        EXPECT_TRUE(w->lblMerit->isVisibleTo(w.get()));
    }
}

TEST_F(MeasureTest, DisplayStopsWithTheDevice)
{
    server.Serve(Temperature("230"));
    w->BeginMeasure();
    EXPECT_EQ(w->lblMerit->text(), QString::fromUtf8("23°C"));

    // A road's device is left alone.
    server.Serve(Temperature("240"));
    {
        TfVYN::TRoadGuard road(*w);
        w->timMeritTimer();
    }
    EXPECT_EQ(w->lblMerit->text(), QString::fromUtf8("23°C"));

    w->cmdMeritTlacClick();
    EXPECT_FALSE(w->timMerit->isActive());
    EXPECT_EQ(w->cmdMerit->Caption(), QString::fromUtf8("Měřit"));
    EXPECT_FALSE(w->lblMerit->isVisibleTo(w.get()));
    EXPECT_TRUE(w->lblMerit->text().isEmpty());

    // A tick after the device went ends the display; the button hides.
    w->BeginMeasure();
    w->FDeviceLoaded = false;
    w->timMeritTimer();
    EXPECT_FALSE(w->timMerit->isActive());
    EXPECT_FALSE(w->lblMerit->isVisibleTo(w.get()));
    w->cmdMerit->show();
    w->cmdMeritTlacClick();
    EXPECT_FALSE(w->cmdMerit->isVisibleTo(w.get()));
}

TEST(SoapScreens, PagesAndTemperatureOnARealDisplay)
{
    QTemporaryDir dir;
    const XvfbRun run = RunOnXvfb(SCREENS_PATH, dir.path(), 60000, QStringLiteral("soap"));
    ASSERT_RAN_ON_XVFB(run);
    const QStringList place = run.Out.split(u' ');
    ASSERT_EQ(place.size(), 4);
    const QRect merit(place[0].toInt(), place[1].toInt(), place[2].toInt(), place[3].toInt());

    const QImage soap(dir.filePath("soap.png")), doc(dir.filePath("soapdoc.png"));
    ASSERT_FALSE(soap.isNull() || doc.isNull());
    EXPECT_NE(soap, doc); // the document page came to the front
    // The reading in white letters on the display's own colour.
    int white = 0;
    for (int y = merit.top(); y <= merit.bottom(); ++y)
        for (int x = merit.left(); x <= merit.right(); ++x)
            white += soap.pixelColor(x, y).lightness() > 240;
    EXPECT_GT(white, 30);
    EXPECT_LT(white, merit.width() * merit.height() / 2);
}
