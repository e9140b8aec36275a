// The road benchmark: every device road run many times in one process against
// the simulated device on a namespace bench of its own, each beside its floor
// measured in the same run: the waits the conversation must make plus the
// bench's own round trip, timed with a bare exchange of the same kind. The
// table goes to stdout, and once more as one JSON line (also appended to the
// file given with --json) so runs can be compared. It never fails on a time:
// the exit code says only whether the bench could run.
//
//   vyn-bench [--quick] [--runs N] [--json FILE] [--only WORD]
//             [--route onlink|none|gateway] [--second-interface]
//
// --only WORD: just the rows whose road names contain WORD.
//
// Needs root (network namespaces, static ARP entries), and Xvfb for the
// start-up rows on a real X server (without it they say so).

#include "app/MyUtils.h"
#include "app/VYN16App.h"
#include "app/uf_VYN.h"
#include "lang/uLanguageForms.h"
#include "link/u_ARPTx.h"
#include "link/uf_DataSender.h"
#include "model/u_DevData.h"
#include "model/uf_DM.h"
#include "platform/MessageBox.h"
#include "storage/uCOB.h"
#include "support/NetBench.h"
#include "support/SimDevice.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Resident memory of this process, and the part of it that is its own:
// the pages only it has written (Private_Dirty, which holds every anonymous
// page: heap, stacks). Library code and read-only data are left out even
// where no other process maps them (Private_Clean), as are the pages shared
// with other processes. In MB.
struct Memory
{
    double Resident = 0;
    double Own = 0;
};

Memory ReadMemory()
{
    std::ifstream rollup("/proc/self/smaps_rollup");
    std::string line;
    double rss = 0, anonymous = 0, privateDirty = 0;
    while (std::getline(rollup, line)) {
        std::istringstream fields(line);
        std::string name;
        double kb = 0;
        fields >> name >> kb;
        if (name == "Rss:")
            rss = kb;
        else if (name == "Anonymous:")
            anonymous = kb;
        else if (name == "Private_Dirty:")
            privateDirty = kb;
    }
    // An anonymous page read back from swap may be clean; it is ours all
    // the same.
    return {rss / 1024.0, std::max(anonymous, privateDirty) / 1024.0};
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// ------------------------------------------------------------ the table

struct Row
{
    explicit Row(std::string road, std::string unit = "ms") : Road(std::move(road)), Unit(std::move(unit)) {}

    std::string Road;
    std::string Unit;
    std::vector<double> Samples;
    double Floor = 0;        // 0: no floor
    double RatioLimit = 0;   // target as a ratio to the floor
    double AbsoluteLimit = 0; // target in the row's unit
    std::string Note;        // instead of figures when the road cannot run
    bool Failed = false;     // a run did not reach the road's end

    double Med() const { return Median(Samples); }
    double Worst() const { return Samples.empty() ? 0 : *std::max_element(Samples.begin(), Samples.end()); }
    double Ratio() const { return Floor > 0 ? Med() / Floor : 0; }
    std::string Target() const
    {
        char b[64] = "";
        if (RatioLimit > 0)
            std::snprintf(b, sizeof b, "<= %.2f x floor", RatioLimit);
        else if (AbsoluteLimit > 0)
            std::snprintf(b, sizeof b, "< %g %s", AbsoluteLimit, Unit.c_str());
        return b;
    }
    bool Met() const
    {
        if (Failed || Samples.empty())
            return false;
        if (RatioLimit > 0)
            return Ratio() <= RatioLimit;
        return AbsoluteLimit <= 0 || Med() < AbsoluteLimit;
    }
};

std::string Fixed(double v, int decimals)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

std::string JsonText(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

void PrintTable(const std::vector<Row>& rows, const std::string& setting)
{
    std::printf("\nRoad benchmark (%s)\n", setting.c_str());
    std::printf("%-46s %5s %10s %10s %10s %7s  %-18s %s\n", "road", "runs", "median", "worst", "floor", "ratio",
                "target", "");
    for (const Row& r : rows) {
        if (!r.Note.empty() && r.Samples.empty()) {
            std::printf("%-46s %5s %10s %10s %10s %7s  %-18s %s\n", r.Road.c_str(), "-", "-", "-", "-", "-",
                        r.Target().c_str(), r.Note.c_str());
            continue;
        }
        const int d = r.Unit == "ms" ? 1 : 2;
        std::printf("%-46s %5zu %7s %-2s %7s %-2s %10s %7s  %-18s %s%s\n", r.Road.c_str(), r.Samples.size(),
                    Fixed(r.Med(), d).c_str(), r.Unit.c_str(), Fixed(r.Worst(), d).c_str(), r.Unit.c_str(),
                    r.Floor > 0 ? Fixed(r.Floor, 1).c_str() : "-", r.Floor > 0 ? Fixed(r.Ratio(), 3).c_str() : "-",
                    r.Target().c_str(), r.Target().empty() ? "" : (r.Met() ? "met" : "NOT MET"),
                    r.Note.empty() ? "" : ("  (" + r.Note + ")").c_str());
    }
}

std::string JsonLine(const std::vector<Row>& rows, const std::string& setting, int runs)
{
    std::ostringstream j;
    j << "{\"bench\":\"vyn-roads\",\"time\":" << std::time(nullptr) << ",\"setting\":" << JsonText(setting)
      << ",\"runs\":" << runs << ",\"rows\":[";
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        j << (i ? "," : "") << "{\"road\":" << JsonText(r.Road) << ",\"unit\":" << JsonText(r.Unit)
          << ",\"runs\":" << r.Samples.size();
        if (!r.Samples.empty())
            j << ",\"median\":" << Fixed(r.Med(), 3) << ",\"worst\":" << Fixed(r.Worst(), 3);
        if (r.Floor > 0)
            j << ",\"floor\":" << Fixed(r.Floor, 3) << ",\"ratio\":" << Fixed(r.Ratio(), 4);
        j << ",\"target\":" << JsonText(r.Target())
          << ",\"met\":" << (r.Target().empty() ? "null" : r.Met() ? "true" : "false");
        if (!r.Note.empty())
            j << ",\"note\":" << JsonText(r.Note);
        j << "}";
    }
    j << "]}";
    return j.str();
}

// ------------------------------------------------------------ bare exchanges

// One search query and its answer on a plain socket: the bench's own round
// trip, the part of every conversation the program cannot shorten.
double DatagramRoundTrip(const char* ip, uint16_t port, int count)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, ip, &to.sin_addr);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
        throw std::runtime_error("no socket for the round trip");
    std::vector<double> times;
    const uint8_t query[4] = {0, 0, 0, 0xF6};
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (::send(fd, query, sizeof query, 0) != sizeof query)
            continue;
        pollfd p{fd, POLLIN, 0};
        uint8_t answer[2048];
        if (::poll(&p, 1, 1000) == 1 && ::recv(fd, answer, sizeof answer, 0) > 0)
            times.push_back(MsSince(start));
    }
    ::close(fd);
    if (times.empty())
        throw std::runtime_error("the simulated device does not answer a bare search");
    return Median(times);
}

// A plain HTTP/1.0 request on a plain socket, read to the end.
double HttpRoundTrip(const char* ip, uint16_t port, const char* path, int count)
{
    std::vector<double> times;
    const std::string request = std::string("GET ") + path + " HTTP/1.0\r\nHost: " + ip + "\r\n\r\n";
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        ::inet_pton(AF_INET, ip, &to.sin_addr);
        bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
                  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size());
        char buffer[4096];
        ssize_t n = 0;
        while (ok && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
        }
        if (fd >= 0)
            ::close(fd);
        if (ok && n == 0)
            times.push_back(MsSince(start));
    }
    if (times.empty())
        throw std::runtime_error("the simulated device's web server does not answer");
    return Median(times);
}

// The image the save road uploads: the document as the web server's one entry.
QByteArray UploadImage(const QByteArray& document)
{
    TCOBFileStorage image;
    auto* entry = image.AddFile(-1);
    entry->Data = document;
    entry->FileName = QByteArrayLiteral("postsoap.xml");
    image.SetHttpHeader(image.GetCount() - 1, QByteArray());
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    image.SaveToStream(stream);
    return stream.data();
}

// A plain TFTP write of `image` (no options, 512-byte blocks), lock-step to
// the last acknowledgement.
double TftpRoundTrip(const char* ip, const QByteArray& image, int count)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(69);
        ::inet_pton(AF_INET, ip, &to.sin_addr);
        const std::string wrq = std::string("\0\2WEB6\0octet\0", 13);
        bool ok = fd >= 0 && ::sendto(fd, wrq.data(), wrq.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
                                 ssize_t(wrq.size());
        const auto ack = [&](int block) {
            uint8_t b[516];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 1000) != 1)
                return false;
            const ssize_t n = ::recvfrom(fd, b, sizeof b, 0, reinterpret_cast<sockaddr*>(&from), &len);
            to = from; // the transfer's own port
            return n >= 4 && b[1] == 4 && ((b[2] << 8) | b[3]) == block;
        };
        ok = ok && ack(0);
        for (int block = 1; ok; ++block) {
            const qsizetype at = qsizetype(block - 1) * 512;
            const QByteArray data = image.mid(at, 512);
            std::string packet{'\0', '\3', char(block >> 8), char(block & 0xFF)};
            packet.append(data.constData(), size_t(data.size()));
            ok = ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
                     ssize_t(packet.size()) &&
                 ack(block);
            if (data.size() < 512)
                break;
        }
        if (fd >= 0)
            ::close(fd);
        if (ok)
            times.push_back(MsSince(start));
    }
    if (times.empty())
        throw std::runtime_error("the simulated device does not take a bare TFTP upload");
    return Median(times);
}

// ------------------------------------------------------------ roads

// Presses OK on every message a road shows, so that no run waits for an
// operator; a road that showed one did not reach its end.
struct MessagePresser
{
    MessagePresser()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* d = qobject_cast<TfDataSender*>(top);
                if (d && d->isVisible() && d->cmdOK->isVisible()) {
                    Shown.push_back(d->lblCaption->text().toStdString());
                    d->cmdOK->click();
                }
            }
        });
        timer.start();
    }
    QTimer timer;
    std::vector<std::string> Shown;
};

std::unique_ptr<TDataManager> BuiltInModel()
{
    TfDM dm;
    dm.XML.Open();
    return std::make_unique<TDataManager>(dm.XML.DocumentElement()
                                              .firstChildElement(QStringLiteral("device_mapping"))
                                              .firstChildElement(QStringLiteral("datamanager")));
}

// The main window's load road, as its load button runs it for a device
// known by address: find, read, check the identity, fetch the SOAP
// document, then the window's state. Any message shown means it failed.
bool LoadRoad(TfVYN& window, const QString& ip, const MessagePresser& presser)
{
    const size_t shown = presser.Shown.size();
    QPointer<TfDataSender> sender = new TfDataSender(&window, DevicePort, window.FDataManager.get());
    sender->show();
    window.FDeviceLoaded = false;
    const bool found = window.FindDevice(StrToIPAddr(ip), sender, std::array<uint8_t, 6>{});
    window.UpdateDeviceState();
    if (sender)
        sender->close();
    return found && window.FDeviceLoaded && !window.FDeviceSoapDoc.isEmpty() && presser.Shown.size() == shown;
}

// The save button's road with a changed SOAP body, so that the document goes
// up: validation, upload, write, finding the device again, reload.
bool SaveRoad(TfVYN& window, const QByteArray& body, const MessagePresser& presser)
{
    const size_t shown = presser.Shown.size();
    if (!window.chEnableSOAP->isChecked())
        window.chEnableSOAP->click();
    window.txtSOAP_URL->setText(QStringLiteral("http://10.213.0.1/soap.php"));
    window.SetSoapBody(body);
    window.cmdSaveValsTlacClick();
    // What went up came back with the reload.
    return window.FDeviceLoaded && window.FDeviceSoapDoc.endsWith("\r\n\r\n" + body) && presser.Shown.size() == shown;
}

struct PaintWatch : QObject
{
    bool Painted = false;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            Painted = true;
        return QObject::eventFilter(o, e);
    }
};

// The child of the start-up rows: a program start as VYN16's, up to the
// first frame of the main window painted on the display (on an X server:
// the frame has reached the server); then, with an address, a load. Prints
// what it saw.
int StartupChild(int argc, char** argv, const char* loadIp)
{
    const auto t0 = Clock::now();
    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("VYN"));
    InstallWindowTranslation();
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    TfVYN window(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
    PaintWatch watch;
    window.installEventFilter(&watch);
    platform::SetMessageBoxHook([](QWidget*, const QString&, const QString&, unsigned) { return int(platform::IDYES); });
    MessagePresser presser;
    window.show();
    while (!watch.Painted)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // The painted frame goes to the window system once the paint is done;
    // the round trip waits until the server has taken it.
    QCoreApplication::processEvents();
    QGuiApplication::sync();
    const double ms = MsSince(t0);
    // The parent stops its clock at this line: reading the memory figures
    // walks the page tables and is no part of the start-up.
    std::printf("painted %.3f\n", ms);
    std::fflush(stdout);
    const Memory started = ReadMemory();
    std::printf("memory %.3f %.3f\n", started.Resident, started.Own);
    std::fflush(stdout);
    if (loadIp) {
        const bool loaded = LoadRoad(window, QString::fromLatin1(loadIp), presser);
        const Memory after = ReadMemory();
        std::printf("loaded %d %.3f %.3f\n", loaded ? 1 : 0, after.Resident, after.Own);
        std::fflush(stdout);
    }
    return 0;
}

struct ChildResult
{
    double PaintedMs = 0;  // the whole process, from its start
    double FromMainMs = 0; // from main(), the libraries already loaded
    Memory Started;
    bool Loaded = false;
    Memory AfterLoad;
};

// A virtual X server of the bench's own, as the real-display tests use:
// the start-up rows measure a window painted on a real display.
class XServer
{
public:
    XServer()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        posix_spawn_file_actions_adddup2(&actions, devNull, STDERR_FILENO);
        posix_spawn_file_actions_adddup2(&actions, devNull, STDOUT_FILENO);
        // A desktop's server always has clients (the window manager); this
        // one would reset itself each time a run's program leaves, and the
        // next run would wait for the reset at its first connection.
        std::vector<std::string> args{"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                      "-noreset"};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (devNull >= 0)
            ::close(devNull);
        if (rc != 0) {
            ::close(fds[0]);
            m_pid = -1;
            return;
        }
        // The server writes its display number once it takes connections.
        std::string number;
        char c = 0;
        pollfd p{fds[0], POLLIN, 0};
        while (::poll(&p, 1, 10000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (!number.empty())
            m_display = ":" + number;
    }
    ~XServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Empty when no server could be started.
    const std::string& Display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// Runs the start-up child on the display (empty: Qt's offscreen platform).
ChildResult RunChild(const char* loadIp, const std::string& display)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> args{"/proc/self/exe", "--startup-child"};
    if (loadIp)
        args.push_back(loadIp);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("QT_QPA_PLATFORM=", 0) != 0 && entry.rfind("DISPLAY=", 0) != 0)
            env.push_back(entry);
    }
    env.push_back(display.empty() ? "QT_QPA_PLATFORM=offscreen" : "QT_QPA_PLATFORM=xcb");
    if (!display.empty())
        env.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        throw std::runtime_error("cannot start the start-up child");
    }
    ChildResult r;
    std::string text;
    char buffer[256];
    bool painted = false;
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 20000) != 1)
            break;
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, size_t(n));
        if (!painted && text.find('\n') != std::string::npos) {
            r.PaintedMs = MsSince(start);
            painted = true;
        }
    }
    ::close(out[0]);
    ::kill(pid, SIGKILL); // a child that hangs must not hang the bench
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::istringstream lines(text);
    std::string word;
    while (lines >> word) {
        if (word == "painted")
            lines >> r.FromMainMs;
        else if (word == "memory")
            lines >> r.Started.Resident >> r.Started.Own;
        else if (word == "loaded") {
            int loaded = 0;
            lines >> loaded >> r.AfterLoad.Resident >> r.AfterLoad.Own;
            r.Loaded = loaded == 1;
        }
    }
    if (!painted || r.Started.Resident <= 0)
        throw std::runtime_error("the start-up child did not paint its window");
    return r;
}

// Runs `road` `runs` times into a row; a run that returns false marks the row.
void Time(Row& row, int runs, const std::function<bool()>& road, const std::function<void()>& between = {})
{
    for (int i = 0; i < runs; ++i) {
        if (between)
            between();
        const auto start = Clock::now();
        const bool ok = road();
        const double ms = MsSince(start);
        if (!ok) {
            row.Failed = true;
            row.Note = "a run did not reach its end";
        }
        row.Samples.push_back(ms);
    }
}

// CPU time of this process per second of wall time while fn runs, in percent.
double CpuPercentDuring(const std::function<void()>& fn)
{
    const double cpu = CpuMs();
    const auto start = Clock::now();
    fn();
    return 100.0 * (CpuMs() - cpu) / MsSince(start);
}

struct Settings
{
    int Runs = 20;
    bool Quick = false;
    std::string Json;
    std::string Only;
    NetBenchOptions Bench;
    std::string Describe() const
    {
        std::string s = Quick ? "quick" : "full";
        s += ", route ";
        s += Bench.pcRoute == NetBenchOptions::Route::OnLink ? "onlink"
             : Bench.pcRoute == NetBenchOptions::Route::None ? "none"
                                                             : "gateway";
        if (Bench.secondInterface)
            s += ", second interface";
        if (!Only.empty())
            s += ", only \"" + Only + "\"";
        return s;
    }
};

int RunBench(int argc, char** argv, const Settings& settings)
{
    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("VYN"));
    InstallWindowTranslation();
    // Every question of a road is answered Yes, as an operator going on does.
    platform::SetMessageBoxHook([](QWidget*, const QString&, const QString&, unsigned) { return int(platform::IDYES); });

    const int runs = settings.Runs;
    std::vector<Row> rows;
    NetBench bench("vbench", settings.Bench);
    QTemporaryDir dir;
    const QString soapFile = dir.filePath(QStringLiteral("postsoap.xml"));
    {
        QFile f(soapFile);
        f.open(QIODevice::WriteOnly);
        f.write("<?xml version=\"1.0\"?><soap>bench</soap>");
    }
    const std::vector<std::string> simOptions{"--soap", soapFile.toStdString()};
    auto sim = std::make_unique<SimDevice>(bench, simOptions);
    NetBench::Entered pc(bench.PcNamespace());
    ARPManager().GetIPTable();
    // Back where it was before the bench goes: its shell runs there.
    struct Cwd
    {
        QString Old = QDir::currentPath();
        ~Cwd() { QDir::setCurrent(Old); }
    } cwd;
    QDir::setCurrent(dir.path());

    const char* devIp = NetBench::DevIp;
    const QString dev = QString::fromLatin1(devIp);
    const QString devMac = QStringLiteral("02-76-79-6e-00-02");
    const int samples = std::max(20, runs);
    const double rtt = DatagramRoundTrip(devIp, DefaultDevicePort, samples);
    const double http = HttpRoundTrip(devIp, 80, "/vyn.xml", samples);
    const double soapHttp = HttpRoundTrip(devIp, 80, "/postsoap.xml", samples);

    // The save road's upload, as a bare exchange of the same image size.
    const QByteArray soapBody = "<teplota>%t</teplota>";
    double tftp = 0;
    {
        TfVYN probe(nullptr, dir.filePath(QStringLiteral("probe.ini")));
        probe.txtSOAP_URL->setText(QStringLiteral("http://10.213.0.1/soap.php"));
        probe.SetSoapBody(soapBody);
        tftp = TftpRoundTrip(devIp, UploadImage(probe.BuildSoapDocument(true)), samples);
    }
    std::printf("bench round trips: datagram %.3f ms, status page %.3f ms, SOAP document %.3f ms, "
                "TFTP upload %.3f ms\n",
                rtt, http, soapHttp, tftp);

    const auto want = [&](const char* road) {
        return settings.Only.empty() || std::string(road).find(settings.Only) != std::string::npos;
    };
    MessagePresser presser;
    auto model = BuiltInModel();
    auto sender = std::make_unique<TfDataSender>(nullptr, 0, model.get());
    sender->show();

    // A whole wait of T ms ends once more than T ms have passed: T + 1.
    // A search answered at once ends after its first whole 100 ms wait.
    const double search = 101 + rtt;
    if (want("search by IP")) {
        Row byIp{"search by IP"};
        byIp.Floor = search;
        byIp.RatioLimit = 1.1;
        Time(byIp, runs, [&] {
            QString mac;
            return sender->FindMACByIP(dev, QString(), mac, false) == devMac;
        });
        rows.push_back(byIp);
    }
    if (want("search by MAC")) {
        Row byMac{"search by MAC"};
        byMac.Floor = search;
        byMac.RatioLimit = 1.1;
        Time(byMac, runs, [&] {
            QString ip;
            return sender->FindIPByMAC(devMac, QString(), ip, false) == dev;
        });
        rows.push_back(byMac);
    }

    // Four requests, each answered within its 1 ms poll, then one whole
    // 20 ms collection wait. Writing four records takes the same.
    const double batch = 21 + 4 * rtt;
    if (want("read all records")) {
        Row read{"read all records (4)"};
        read.Floor = batch;
        read.RatioLimit = 1.1;
        Time(read, runs, [&] {
            sender->PrepareTransfer(dev);
            return sender->ReadAllRecords() == 4;
        });
        rows.push_back(read);
        // The same read with the window hidden: what its repaints cost.
        Row readHidden{"read all records, window hidden"};
        readHidden.Floor = read.Floor;
        sender->hide();
        Time(readHidden, runs, [&] {
            sender->PrepareTransfer(dev);
            return sender->ReadAllRecords() == 4;
        });
        sender->show();
        rows.push_back(readHidden);
    }

    // The main window's roads.
    auto window = std::make_unique<TfVYN>(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
    window->show();
    if (want("load")) {
        Row load{"load (search, read, identity, SOAP)"};
        load.Floor = search + batch + soapHttp;
        load.RatioLimit = 1.1;
        Time(load, runs, [&] { return LoadRoad(*window, dev, presser); });
        rows.push_back(load);
    }

    // Search, upload, write, the search by MAC of the device that may have
    // moved, then the reload: the device found by address skips its search.
    if (want("save")) {
        Row save{"save (validate, upload, write, find, reload)"};
        save.Floor = search + tftp + batch + search + batch + soapHttp;
        save.RatioLimit = 1.1;
        int turn = 0;
        if (!LoadRoad(*window, dev, presser))
            save.Note = "the device does not load";
        else
            Time(save, runs, [&] { return SaveRoad(*window, soapBody + QByteArray::number(turn++ % 2), presser); });
        rows.push_back(save);
    }

    // One tick of the temperature display: the status page by HTTP GET.
    if (want("temperature")) {
        Row temp{"temperature reading"};
        temp.Floor = http;
        window->FDeviceLoaded = true;
        window->FDevIP = StrToIPAddr(dev);
        window->UpdateDeviceState();
        Time(temp, runs, [&] {
            window->timMeritTimer();
            return window->lblMerit->text().endsWith(QStringLiteral("°C")) &&
                   !window->lblMerit->text().startsWith(QStringLiteral("?"));
        });
        rows.push_back(temp);
    }

    // The presser's own ticks would count as the program's.
    presser.timer.stop();
    if (want("CPU while the main window is idle")) {
        Row idle{"CPU while the main window is idle", "%"};
        idle.AbsoluteLimit = 1;
        for (int i = 0; i < std::min(runs, 5); ++i) {
            idle.Samples.push_back(CpuPercentDuring([] {
                QEventLoop loop;
                QTimer::singleShot(500, &loop, &QEventLoop::quit);
                loop.exec();
            }));
        }
        rows.push_back(idle);
    }
    window->FDeviceLoaded = false;
    window->UpdateDeviceState();
    window.reset();

    // A search of a device that answers nothing: 36 whole waits.
    if (want("CPU while a conversation waits")) {
        Row waiting{"CPU while a conversation waits", "%"};
        waiting.AbsoluteLimit = 1;
        sim->Set("silent", "1");
        sender->TimeoutMs = 1000;
        for (int i = 0; i < std::min(runs, 3); ++i) {
            waiting.Samples.push_back(CpuPercentDuring([&] {
                QString mac;
                sender->FindMACByIP(dev, QString(), mac, false);
            }));
        }
        sender->TimeoutMs = 3500;
        sim->Set("silent", "0");
        rows.push_back(waiting);
    }

    presser.timer.start();
    // Whole-process figures from a fresh program each time, before the
    // set-IP roads move the device.
    if (want("start-up") || want("memory")) {
        // On a real X server, as an operator sees it: the whole process, from
        // its start to the first frame the server has taken.
        const XServer x;
        Row startup{"start-up to the first painted frame, X server"};
        startup.AbsoluteLimit = 50;
        Row fromMain{"  the same from main(), libraries loaded"};
        Row offscreen{"start-up, offscreen platform (no display)"};
        Row rssStart{"resident memory after start-up", "MB"};
        Row ownStart{"own memory after start-up", "MB"};
        Row rssLoad{"resident memory after a load", "MB"};
        Row ownLoad{"own memory after a load", "MB"};
        // The target is on the pages the program itself writes: the shared
        // libraries' pages serve every process that maps them.
        ownLoad.AbsoluteLimit = 40;
        if (x.Display().empty()) {
            startup.Note = fromMain.Note = "no X server (Xvfb) could be started";
        } else {
            for (int i = 0; i < std::max(3, runs / 2); ++i) {
                const ChildResult r = RunChild(nullptr, x.Display());
                startup.Samples.push_back(r.PaintedMs);
                fromMain.Samples.push_back(r.FromMainMs);
                rssStart.Samples.push_back(r.Started.Resident);
                ownStart.Samples.push_back(r.Started.Own);
            }
        }
        for (int i = 0; i < std::max(3, runs / 2); ++i)
            offscreen.Samples.push_back(RunChild(nullptr, std::string()).PaintedMs);
        // The memory figures come from the X server's runs where there is
        // one: the offscreen platform paints into memory of its own.
        for (int i = 0; i < std::min(runs, 3); ++i) {
            const ChildResult r = RunChild(devIp, x.Display());
            if (!r.Loaded) {
                rssLoad.Failed = ownLoad.Failed = true;
                rssLoad.Note = ownLoad.Note = "the load did not reach its end";
            }
            if (x.Display().empty()) {
                rssStart.Samples.push_back(r.Started.Resident);
                ownStart.Samples.push_back(r.Started.Own);
            }
            rssLoad.Samples.push_back(r.AfterLoad.Resident);
            ownLoad.Samples.push_back(r.AfterLoad.Own);
        }
        for (Row* row : {&startup, &fromMain, &offscreen, &rssStart, &ownStart, &rssLoad, &ownLoad})
            rows.push_back(*row);
    }

    // Setting the IP by MAC, the direct way: search by MAC, the ARP check of
    // the new address (nobody holds it: the probe runs out), the query of
    // the set-IP record, the set and its answer. The ARP probe is our own
    // choice, not a wait of the conversation: the target is absolute.
    if (want("set IP by MAC, direct")) {
        Row direct{"set IP by MAC, direct"};
        direct.Floor = (101 + rtt) + (21 + rtt) + (101 + rtt);
        direct.AbsoluteLimit = 1500;
        int turn = 0;
        Time(direct, runs, [&] {
            const QString to = QStringLiteral("10.213.0.%1").arg(50 + (turn++ % 2));
            return sender->SetIPByMAC(devMac, to, QStringLiteral("0.0.0.0"),
                                      StrToIPAddr(QStringLiteral("255.255.255.0"))) &&
                   sim->Address().rfind(to.toStdString() + "/", 0) == 0;
        });
        rows.push_back(direct);
    }

    // The static ARP way: a device outside the PC's subnets that ignores ARP.
    // Search by MAC, the ARP request to where it was found and the check of
    // the new address (both run out), the three sends 10 ms apart, and the
    // search by IP at the new address.
    sender.reset();
    if (want("set IP by MAC, static ARP entry")) {
        Row staticWay{"set IP by MAC, static ARP entry"};
        staticWay.Floor = (101 + rtt) + 3 * 10 + (101 + rtt);
        staticWay.AbsoluteLimit = 2500;
        bench.SetDevArp(false);
        std::vector<std::string> outside = simOptions;
        outside.insert(outside.end(), {"--ip", "192.168.50.7/24"});
        Time(
            staticWay, runs,
            [&] {
                auto w = std::make_unique<TfDataSender>(nullptr, 0, model.get());
                w->show();
                return w->SetIPByMAC(devMac, QStringLiteral("10.213.0.60"), QStringLiteral("0.0.0.0"), 0) &&
                       sim->Address().rfind("10.213.0.60/", 0) == 0;
            },
            [&] {
                sim.reset();
                sim = std::make_unique<SimDevice>(bench, outside);
            });
        rows.push_back(staticWay);
        bench.SetDevArp(true);
    }

    sim.reset();
    const std::string setting = settings.Describe();
    PrintTable(rows, setting);
    const std::string json = JsonLine(rows, setting, runs);
    std::printf("%s\n", json.c_str());
    if (!settings.Json.empty())
        std::ofstream(settings.Json, std::ios::app) << json << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bool startupChild = argc >= 2 && std::strcmp(argv[1], "--startup-child") == 0;
    // The start-up child runs on the platform its parent chose.
    if (!startupChild)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform's complaints (no raise(), no runtime folder)
    // would bury the table.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg && type != QtWarningMsg)
            std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    });
    if (startupChild)
        return StartupChild(argc, argv, argc >= 3 ? argv[2] : nullptr);

    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--quick") {
            settings.Quick = true;
            settings.Runs = 3;
        } else if (a == "--runs" && hasValue) {
            settings.Runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--only" && hasValue) {
            settings.Only = argv[++i];
        } else if (a == "--json" && hasValue) {
            settings.Json = argv[++i];
        } else if (a == "--route" && hasValue) {
            const std::string r = argv[++i];
            settings.Bench.pcRoute = r == "none"      ? NetBenchOptions::Route::None
                                     : r == "gateway" ? NetBenchOptions::Route::Gateway
                                                      : NetBenchOptions::Route::OnLink;
        } else if (a == "--second-interface") {
            settings.Bench.secondInterface = true;
        } else {
            std::fprintf(stderr, "usage: vyn-bench [--quick] [--runs N] [--json FILE] [--only WORD] "
                                 "[--route onlink|none|gateway] [--second-interface]\n");
            return 2;
        }
    }
    if (!NetBench::IsRoot()) {
        std::fprintf(stderr, "vyn-bench: needs root for its network namespaces\n");
        return 1;
    }
    try {
        return RunBench(argc, argv, settings);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vyn-bench: %s\n", e.what());
        return 1;
    }
}
