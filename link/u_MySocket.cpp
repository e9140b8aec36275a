#include "link/u_MySocket.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <sys/socket.h>

#include <algorithm>
#include <chrono>

using namespace winsock;

namespace {

constexpr int kReceiveBufferSize = 65535;
constexpr int kSendBufferSize = 65565;
// The receive buffer must hold a burst of answers while the program is busy
// for a moment (200 devices answering one broadcast search). Windows counts
// only the payload against 65565 bytes, about 2,185 thirty-byte answers;
// Linux doubles the figure but charges each datagram its whole kernel buffer
// (about 830 bytes for a small one), so 65565 holds only 157. 1 MiB holds
// about 2,500. The system caps it at net.core.rmem_max; what that grants is
// taken without complaint.
constexpr int kReceiveBufferRequest = 1024 * 1024;
constexpr auto kIdlePause = std::chrono::milliseconds(3);

QString dottedAddress(uint32_t addr)
{
    const auto* b = reinterpret_cast<const unsigned char*>(&addr);
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

// An empty text stands for the any-address (inet_addr itself rejects it).
uint32_t addressOf(const QString& ip)
{
    return ip.isEmpty() ? 0 : winsock::inet_addr(ip);
}

// A posted notification; the receiver's total byte count rides along as the
// original window message carried it.
class TMySocketEvent : public QEvent
{
public:
    TMySocketEvent(int message, int32_t totalBytes)
        : QEvent(static_cast<QEvent::Type>(message)), TotalBytes(totalBytes)
    {
    }
    const int32_t TotalBytes;
};

} // namespace

// Lives in the thread that started the first worker and runs the socket's
// events there, one posted notification at a time, in posting order.
class TMySocketNotifier : public QObject
{
public:
    explicit TMySocketNotifier(TMySocket* socket) : m_socket(socket) {}

    void Detach() { m_socket = nullptr; }
    bool Delivering() const { return m_depth > 0; }

    bool event(QEvent* e) override
    {
        const int type = static_cast<int>(e->type());
        if (type != WM_MYSOCKET_RECEIVED && type != WM_MYSOCKET_SENT)
            return QObject::event(e);
        if (m_socket) {
            // A handler may run a nested event loop that delivers again: the
            // depth, not a flag, says whether any delivery is still running.
            ++m_depth;
            struct Leave
            {
                int& depth;
                ~Leave() { --depth; }
            } leave{m_depth};
            m_socket->WndProc(type);
        }
        return true;
    }

private:
    TMySocket* m_socket;
    int m_depth = 0;
};

// ---------------------------------------------------------------- queue

bool TMyPacketQuee::IsEmpty() const
{
    std::lock_guard<std::mutex> lock(Lock);
    return Items.empty();
}

bool TMyPacketQuee::Pop(TMyPacket& Packet)
{
    TMyPacket item;
    {
        std::lock_guard<std::mutex> lock(Lock);
        if (Items.empty())
            return false;
        item = std::move(Items.front());
        Items.pop_front();
    }
    Packet = std::move(item);
    return true;
}

int32_t TMyPacketQuee::Push(const TMyPacket& Packet)
{
    TMyPacket item{Packet.Data, TMyPacket::ShortIP(Packet.IP), Packet.Port};
    int32_t count;
    {
        std::lock_guard<std::mutex> lock(Lock);
        Items.push_back(std::move(item));
        count = static_cast<int32_t>(Items.size());
    }
    NotEmpty.notify_all();
    return count;
}

void TMyPacketQuee::PushData(const QByteArray& Data)
{
    Push(TMyPacket{Data, QString(), 0});
}

int32_t TMyPacketQuee::TotalBytes() const
{
    std::lock_guard<std::mutex> lock(Lock);
    int64_t total = 0;
    for (const TMyPacket& p : Items)
        total += p.Data.size();
    return static_cast<int32_t>(total);
}

int32_t TMyPacketQuee::Count() const
{
    std::lock_guard<std::mutex> lock(Lock);
    return static_cast<int32_t>(Items.size());
}

bool TMyPacketQuee::WaitNotEmpty(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(Lock);
    const auto notEmpty = [this] { return !Items.empty(); };
    if (timeoutMs < 0) {
        NotEmpty.wait(lock, notEmpty);
        return true;
    }
    return NotEmpty.wait_for(lock, std::chrono::milliseconds(timeoutMs), notEmpty);
}

// ---------------------------------------------------------------- threads

namespace {

TMySocket* requireSocket(TMySocket* socket, const char* message)
{
    if (!socket)
        throw Exception(QString::fromLatin1(message));
    return socket;
}

} // namespace

TMyWorkerThread::TMyWorkerThread(TMySocket* Socket, const char* nilSocketMessage, bool receiver)
    : Socket(requireSocket(Socket, nilSocketMessage)),
      SocketHandle(Socket->Handle()),
      SockType(Socket->SockType()),
      Queue(receiver ? &Socket->ReceiveQueue() : &Socket->SendQueue())
{
}

TMyWorkerThread::~TMyWorkerThread()
{
    Stop();
}

void TMyWorkerThread::SetNotifyWindow(QObject* Window)
{
    std::lock_guard<std::mutex> lock(Lock);
    NotifyWindow = Window;
}

void TMyWorkerThread::Stop()
{
    m_terminated = true;
    if (m_thread.joinable())
        m_thread.join();
}

void TMyWorkerThread::Post(int message)
{
    QObject* window;
    {
        std::lock_guard<std::mutex> lock(Lock);
        window = NotifyWindow;
    }
    if (window)
        QCoreApplication::postEvent(window, new TMySocketEvent(message, Queue->TotalBytes()));
}

TMyReceiver::TMyReceiver(TMySocket* Socket)
    : TMyWorkerThread(Socket, "TMyReceiver: construktor nemuze vytvorit objekt", true)
{
    Start([this] { Execute(); });
}

TMyReceiver::~TMyReceiver()
{
    Stop();
}

void TMyReceiver::Execute()
{
    QByteArray buffer(kReceiveBufferSize, '\0');
    while (!Terminated()) {
        bool received = false;
        if (SockType == SOCK_DGRAM) {
            uint32_t from = 0;
            uint16_t port = 0;
            const int n = winsock::recvfrom(SocketHandle, buffer, from, port);
            if (n != 0 && n != SOCKET_ERROR) {
                Queue->Push(TMyPacket{buffer.left(n), dottedAddress(from), port});
                Post(WM_MYSOCKET_RECEIVED);
                received = true;
            }
        }
        // Idle: wait for the next datagram at most as long as one pause, so
        // that a stop request is still seen within one pass.
        if (!received && !Terminated()) {
            if (SockType == SOCK_DGRAM && SocketHandle > 0)
                winsock::WaitReadable(SocketHandle, static_cast<int>(kIdlePause.count()));
            else
                std::this_thread::sleep_for(kIdlePause);
        }
    }
}

TMySender::TMySender(TMySocket* Socket)
    : TMyWorkerThread(Socket, "TMySender: construktor nemuze vytvorit objekt", false)
{
    Start([this] { Execute(); });
}

TMySender::~TMySender()
{
    Stop();
}

void TMySender::Execute()
{
    while (!Terminated()) {
        TMyPacket packet;
        if (SockType == SOCK_DGRAM && Queue->Pop(packet)) {
            const int n = (!packet.IP.isEmpty() || packet.Port != 0)
                ? winsock::sendto(SocketHandle, packet.Data, addressOf(packet.IP), packet.Port)
                : winsock::send(SocketHandle, packet.Data);
            if (n != SOCKET_ERROR)
                Post(WM_MYSOCKET_SENT);
        }
        if (!Terminated())
            std::this_thread::sleep_for(kIdlePause);
    }
}

// ---------------------------------------------------------------- errors

namespace {

struct CodeText
{
    int32_t code;
    const char* text;
};

constexpr CodeText kErrorTexts[] = {
    {10004, "The (blocking) call was canceled through WSACancelBlockingCall."},
    {10013, "The requested address is a broadcast address, but the appropriate flag was not set."},
    {10014, "The buf argument is not totally contained in a valid part of the user address space."},
    {10022, "The socket has not been bound with bind, or an unknown flag was specified, or MSG_OOB was "
            "specified for a socket with SO_OOBINLINE enabled."},
    {10024, "No more socket descriptors are available."},
    {10035, "The socket is marked as nonblocking and the requested operation would block."},
    {10036, "A blocking Windows Sockets 1.1 call is in progress, or the service provider is still "
            "processing a callback function."},
    {10037, "A nonblocking connect call is in progress on the specified socket."},
    {10038, "The descriptor is not a socket."},
    {10040, "The socket is message oriented, and the message is larger than the maximum supported by "
            "the underlying transport."},
    {10041, "The specified protocol is the wrong type for this socket."},
    {10043, "The specified protocol is not supported."},
    {10044, "The specified socket type is not supported in this address family."},
    {10045, "MSG_OOB was specified, but the socket is not stream style such as type SOCK_STREAM, "
            "out-of-band data is not supported in the communication domain associated with this "
            "socket, or the socket is unidirectional and supports only receive operations."},
    {10047, "The specified address family is not supported."},
    {10048, "The specified address is already in use."},
    {10049, "The remote address is not a valid address (such as ADDR_ANY)."},
    {10050, "The network subsystem has failed."},
    {10051, "The network cannot be reached from this host at this time."},
    {10052, "The connection has been broken due to the remote host resetting."},
    {10053, "The virtual circuit was terminated due to a time-out or other failure. The application "
            "should close the socket as it is no longer usable."},
    {10054, "The virtual circuit was reset by the remote side executing a \"hard\" or \"abortive\" "
            "close. For UPD sockets, the remote host was unable to deliver a previously sent UDP "
            "datagram and responded with a \"Port Unreachable\" ICMP packet. The application should "
            "close the socket as it is no longer usable."},
    {10055, "No buffer space is available."},
    {10056, "The socket is already connected (connection-oriented sockets only)."},
    {10057, "The socket is not connected."},
    {10058, "The socket has been shut down; it is not possible to send on a socket after shutdown has "
            "been invoked with how set to SD_SEND or SD_BOTH."},
    {10060, "The connection has been dropped, because of a network failure or because the system on "
            "the other end went down without notice."},
    {10061, "The attempt to connect was forcefully rejected."},
    {10065, "The remote host cannot be reached from this host at this time."},
    {10093, "A successful WSAStartup must occur before using this function."},
};

int32_t resolveCode(int32_t code)
{
    return code == 0 ? winsock::WSAGetLastError() : code;
}

} // namespace

QString TPacketException::ErrorText(int32_t Code)
{
    QString text = QStringLiteral("Socket error.");
    for (const CodeText& e : kErrorTexts) {
        if (e.code == Code) {
            text = QString::fromLatin1(e.text);
            break;
        }
    }
    return text + QStringLiteral(" (#%1)").arg(static_cast<uint32_t>(Code), 8, 16, QLatin1Char('0')).toUpper();
}

TPacketException::TPacketException(int32_t Code)
    : Exception(ErrorText(resolveCode(Code))), m_code(resolveCode(Code))
{
}

// ---------------------------------------------------------------- socket

TMySocket::TMySocket() = default;

std::unique_ptr<TMySocket> TMySocket::CreateEx(int32_t AFamily, int32_t ASockType, int32_t AProtocol,
                                               bool OpenNow)
{
    auto s = std::make_unique<TMySocket>();
    // The first open raises nothing: errors are switched on only afterwards.
    s->FRaisingSocketErrors = false;
    s->FAddressFamily = AFamily;
    s->FSockType = ASockType;
    s->FProtocol = AProtocol;
    if (OpenNow)
        s->Open();
    s->FRaisingSocketErrors = true;
    return s;
}

std::unique_ptr<TMySocket> TMySocket::CreateTCP(bool OpenNow)
{
    return CreateEx(AF_INET, SOCK_STREAM, 6, OpenNow);
}

std::unique_ptr<TMySocket> TMySocket::CreateUDP(bool OpenNow)
{
    return CreateEx(AF_INET, SOCK_DGRAM, 17, OpenNow);
}

TMySocket::~TMySocket()
{
    const SOCKET handle = FHandle;
    FHandle = 0;
    StopReceiver();
    StopSender();
    if (handle != 0 && handle != INVALID_SOCKET)
        winsock::closesocket(handle);
    if (FNotifyWindow) {
        // Whatever is still posted is dropped with the notifier; when this
        // socket is destroyed from one of its own events, the notifier is
        // still on the call stack and goes once that event has returned.
        FNotifyWindow->Detach();
        QCoreApplication::removePostedEvents(FNotifyWindow.get());
        if (FNotifyWindow->Delivering())
            FNotifyWindow.release()->deleteLater();
    }
}

bool TMySocket::IsOpen() const
{
    return FHandle != 0 && FHandle != INVALID_SOCKET;
}

SOCKET TMySocket::SysHandle() const
{
    return IsOpen() ? FHandle : INVALID_SOCKET;
}

void TMySocket::Open()
{
    if (IsOpen())
        return;
    // The POSIX layer needs no start-up call, so there is no "not started"
    // failure to retry after.
    FHandle = winsock::socket(FAddressFamily, FSockType, FProtocol);
    if (FHandle == INVALID_SOCKET)
        RaiseSocketError(0);
    if (winsock::SetNonBlocking(SysHandle(), true) != 0)
        RaiseSocketError(0);
    winsock::setsockopt(SysHandle(), SOL_SOCKET, SO_BROADCAST, FBroadCastAccept ? 1 : 0);
    winsock::setsockopt(SysHandle(), SOL_SOCKET, SO_RCVBUF, kReceiveBufferRequest);
    winsock::setsockopt(SysHandle(), SOL_SOCKET, SO_SNDBUF, kSendBufferSize);
    if (FReceiveThread)
        StartReceiver();
    if (FSendThread)
        StartSender();
    if (OnOpenSocket)
        OnOpenSocket(this);
}

void TMySocket::Bind()
{
    // A failed bind is silent: the caller goes on with an unbound socket.
    try {
        if (!IsOpen())
            Open();
        if (winsock::bind(SysHandle(), addressOf(FLocalIP), FLocalPort) != 0)
            return;
    } catch (const std::exception&) {
        return;
    }
    FBound = true;
    if (OnBindSocket)
        OnBindSocket(this);
}

void TMySocket::Connect(bool DoBind)
{
    if (!IsOpen())
        Open();
    if (DoBind && !FBound)
        Bind();
    if (winsock::connect(SysHandle(), addressOf(FRemoteIP), FRemotePort) == 0) {
        FConnected = true;
        if (OnConnectSocket)
            OnConnectSocket(this);
    } else {
        RaiseSocketError(0);
    }
}

void TMySocket::Close()
{
    if (!IsOpen())
        return;
    const SOCKET handle = FHandle;
    FHandle = 0;
    FConnected = false;
    FBound = false;
    // The workers are stopped before the descriptor is released: a closed
    // descriptor number can be handed out again at once, and a worker still
    // holding it would read or write someone else's file.
    StopReceiver();
    StopSender();
    winsock::closesocket(handle);
    if (OnCloseSocket)
        OnCloseSocket(this);
}

int32_t TMySocket::CheckedSend(int result)
{
    if (result == SOCKET_ERROR) {
        const int32_t code = winsock::WSAGetLastError();
        if (OnDataSent)
            OnDataSent(this, code);
        RaiseSocketError(code);
    } else if (OnDataSent) {
        OnDataSent(this, 0);
    }
    return result;
}

int32_t TMySocket::Send(const QByteArray& Data)
{
    QByteArray data = Data;
    if (OnBeforeDataSend) {
        TMyPacket packet{data, TMyPacket::ShortIP(FRemoteIP), FRemotePort};
        OnBeforeDataSend(this, packet);
        data = packet.Data;
    }
    if (FSender) {
        FSendQueue.PushData(data);
        return 0;
    }
    return CheckedSend(winsock::send(SysHandle(), data));
}

int32_t TMySocket::SendTo(const QByteArray& Data, const QString& IP, uint16_t Port)
{
    TMyPacket packet{Data, TMyPacket::ShortIP(IP), Port};
    if (OnBeforeDataSend) {
        OnBeforeDataSend(this, packet);
        packet.IP = TMyPacket::ShortIP(packet.IP);
    }
    if (FSender) {
        FSendQueue.Push(packet);
        return 0;
    }
    return CheckedSend(winsock::sendto(SysHandle(), packet.Data, addressOf(packet.IP), packet.Port));
}

bool TMySocket::WaitForData(int32_t TimeOut, bool WaitWhole)
{
    using namespace std::chrono;
    bool result = false;
    int64_t counter = 0;
    const auto start = steady_clock::now();
    const auto elapsedMs = [&start] {
        return duration_cast<milliseconds>(steady_clock::now() - start).count();
    };
    if (TimeOut < 0)
        WaitWhole = false;
    const bool threaded = FReceiver != nullptr;
    // Nothing can ever arrive on a closed socket without a receiver; waiting
    // without a limit would never end.
    if (TimeOut < 0 && !threaded && !IsOpen())
        return false;
    QByteArray buffer;
    if (!threaded)
        buffer.resize(kReceiveBufferSize);

    try {
        bool got = false;
        while (!got || WaitWhole) {
            if (TimeOut >= 0 && counter > TimeOut)
                break;
            // Whether a datagram (of any length) was taken, so the next one
            // is read at once, and whether the socket was merely empty, so
            // waiting in poll() is the right kind of pause.
            bool tookDatagram = false;
            bool idle = false;
            if (threaded) {
                got = !FReceiveQueue.IsEmpty();
                if (got)
                    result = true;
                idle = !got;
            } else {
                uint32_t from = 0;
                uint16_t port = 0;
                const int n = winsock::recvfrom(SysHandle(), buffer, from, port);
                if (n > 0) {
                    FReceiveQueue.Push(TMyPacket{buffer.left(n), dottedAddress(from), port});
                    result = true;
                    got = true;
                    tookDatagram = true;
                } else if (n == 0) {
                    tookDatagram = FSockType == SOCK_DGRAM;
                } else {
                    idle = IsOpen() && winsock::WSAGetLastError() == WSAEWOULDBLOCK;
                }
            }
            if (got && !WaitWhole)
                break;
            if (TimeOut == 0)
                break;
            counter = std::max<int64_t>(tookDatagram ? counter : counter + 1, elapsedMs());
            if (tookDatagram)
                continue;
            const int left = TimeOut < 0 ? -1 : static_cast<int>(std::max<int64_t>(0, TimeOut + 1 - counter));
            if (left == 0)
                continue;
            if (threaded && got)
                std::this_thread::sleep_for(milliseconds(left));
            else if (threaded)
                FReceiveQueue.WaitNotEmpty(left);
            else if (idle)
                winsock::WaitReadable(SysHandle(), left);
            else
                std::this_thread::sleep_for(milliseconds(1));
        }
    } catch (const std::exception&) {
        // The result is what was received until then.
    }
    return result;
}

void TMySocket::RaiseSocketError(int32_t Code)
{
    if (FRaisingSocketErrors)
        throw TPacketException(Code);
}

void TMySocket::SetBroadCastAccept(bool v)
{
    FBroadCastAccept = v;
    if (IsOpen())
        winsock::setsockopt(FHandle, SOL_SOCKET, SO_BROADCAST, v ? 1 : 0);
}

void TMySocket::SetSocketType(TMySocketType v)
{
    switch (v) {
    case TMySocketType::stUDP:
        FSockType = SOCK_DGRAM;
        FProtocol = 17;
        break;
    case TMySocketType::stTCP:
        FSockType = SOCK_STREAM;
        FProtocol = 6;
        break;
    default:
        throw Exception(QStringLiteral("Unknown socket type."));
    }
    FSocketType = v;
}

void TMySocket::SetReceiveThread(bool v)
{
    FReceiveThread = v;
    if (v) {
        if (!FReceiver && IsOpen())
            StartReceiver();
    } else {
        StopReceiver();
    }
}

void TMySocket::SetSendThread(bool v)
{
    FSendThread = v;
    if (v) {
        if (!FSender && IsOpen())
            StartSender();
    } else {
        StopSender();
    }
}

QObject* TMySocket::NotifyWindow()
{
    if (!FNotifyWindow)
        FNotifyWindow = std::make_unique<TMySocketNotifier>(this);
    return FNotifyWindow.get();
}

void TMySocket::StartReceiver()
{
    if (!FReceiveThread || FReceiver)
        return;
    FReceiver = std::make_unique<TMyReceiver>(this);
    FReceiver->SetNotifyWindow(NotifyWindow());
}

void TMySocket::StartSender()
{
    if (!FSendThread || FSender)
        return;
    FSender = std::make_unique<TMySender>(this);
    FSender->SetNotifyWindow(NotifyWindow());
}

void TMySocket::StopReceiver()
{
    FReceiver.reset();
}

void TMySocket::StopSender()
{
    FSender.reset();
}

void TMySocket::WndProc(int Msg)
{
    if (Msg == WM_MYSOCKET_RECEIVED) {
        if (OnRead) {
            OnRead(this);
        } else if (OnDataReceive) {
            TMyPacket packet;
            if (FReceiveQueue.Pop(packet))
                OnDataReceive(this, packet);
        }
    } else if (Msg == WM_MYSOCKET_SENT) {
        if (OnDataSent)
            OnDataSent(this, 0);
    }
}
