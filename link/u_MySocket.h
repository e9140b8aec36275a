#pragma once

// The datagram socket through which the program talks to a device, the
// queues that hold what it received and what it still has to send, and the
// two optional worker threads that fill and drain those queues.

#include "platform/Exception.h"
#include "platform/Winsock.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QObject;
class TMySocket;
class TMySocketNotifier;

// One datagram and its peer.
struct TMyPacket
{
    QByteArray Data;
    QString IP;        // dotted address; kept to at most 15 characters
    uint16_t Port = 0; // host order

    static constexpr int MaxIPLength = 15;
    static QString ShortIP(const QString& ip) { return ip.left(MaxIPLength); }
};

// First-in first-out queue of packets, safe to use from several threads.
class TMyPacketQuee
{
public:
    TMyPacketQuee() = default;
    TMyPacketQuee(const TMyPacketQuee&) = delete;
    TMyPacketQuee& operator=(const TMyPacketQuee&) = delete;

    bool IsEmpty() const;
    // Takes the oldest packet; false, with Packet untouched, when empty.
    bool Pop(TMyPacket& Packet);
    // Appends a copy (its IP cut to 15 characters); returns the new count.
    int32_t Push(const TMyPacket& Packet);
    void PushData(const QByteArray& Data);
    int32_t TotalBytes() const;
    int32_t Count() const;

    // Blocks until the queue holds a packet or timeoutMs passed (negative:
    // no limit); true when it holds one.
    bool WaitNotEmpty(int timeoutMs) const;

private:
    mutable std::mutex Lock;
    mutable std::condition_variable NotEmpty;
    std::deque<TMyPacket> Items;
};

// Notifications the worker threads post to the socket's owning thread.
constexpr int WM_MYSOCKET_RECEIVED = 7471;
constexpr int WM_MYSOCKET_SENT = 7472;

// What the two worker threads share: the socket's handle and type as they were
// when the thread started, the queue it works on and where it posts.
class TMyWorkerThread
{
public:
    virtual ~TMyWorkerThread();
    TMyWorkerThread(const TMyWorkerThread&) = delete;
    TMyWorkerThread& operator=(const TMyWorkerThread&) = delete;

    void SetNotifyWindow(QObject* Window);
    // Asks the loop to end and waits until it has.
    void Stop();

protected:
    TMyWorkerThread(TMySocket* Socket, const char* nilSocketMessage, bool receiver);
    template <class Loop>
    void Start(Loop loop)
    {
        m_thread = std::thread(loop);
    }
    bool Terminated() const { return m_terminated.load(); }
    void Post(int message);

    TMySocket* Socket;
    winsock::SOCKET SocketHandle;
    int32_t SockType;
    TMyPacketQuee* Queue;

private:
    std::mutex Lock;
    QObject* NotifyWindow = nullptr;
    std::atomic<bool> m_terminated{false};
    std::thread m_thread;
};

// Reads datagrams into the socket's receive queue.
class TMyReceiver : public TMyWorkerThread
{
public:
    explicit TMyReceiver(TMySocket* Socket);
    ~TMyReceiver() override;

private:
    void Execute();
};

// Sends what is queued on the socket's send queue, one packet per pass.
class TMySender : public TMyWorkerThread
{
public:
    explicit TMySender(TMySocket* Socket);
    ~TMySender() override;

private:
    void Execute();
};

// A socket failure; the text is keyed by the Winsock error code.
class TPacketException : public Exception
{
public:
    // Code 0 stands for the thread's last socket error.
    explicit TPacketException(int32_t Code);

    int32_t Code() const { return m_code; }
    // The message for a code: its text, " (#", eight hex digits, ")".
    static QString ErrorText(int32_t Code);

private:
    int32_t m_code;
};

enum class TMySocketType { stUDP = 0, stTCP = 1 };

using TMyReceiveMethod = std::function<void(TMySocket* Sender, TMyPacket& Paket)>;
using TMySentMethod = std::function<void(TMySocket* Sender, int32_t ErrorCode)>;
using TMyNotifyEvent = std::function<void(TMySocket* Sender)>;

// A UDP (or TCP) socket that moves whole datagrams. Used synchronously by its
// owner (Open/Bind/Connect, Send/SendTo, WaitForData, then ReceiveQueue), or
// event-driven with the worker threads, whose events then run in the thread
// that started the first worker (it needs a running Qt event loop).
// Destroy it in that thread.
class TMySocket
{
public:
    TMySocket();
    static std::unique_ptr<TMySocket> CreateEx(int32_t AFamily, int32_t ASockType, int32_t AProtocol,
                                               bool OpenNow);
    static std::unique_ptr<TMySocket> CreateTCP(bool OpenNow);
    static std::unique_ptr<TMySocket> CreateUDP(bool OpenNow);
    virtual ~TMySocket();
    TMySocket(const TMySocket&) = delete;
    TMySocket& operator=(const TMySocket&) = delete;

    bool IsOpen() const;
    void Open();
    void Bind();
    void Connect(bool DoBind);
    void Close();
    int32_t Send(const QByteArray& Data);
    int32_t SendTo(const QByteArray& Data, const QString& IP, uint16_t Port);
    bool WaitForData(int32_t TimeOut, bool WaitWhole);
    void RaiseSocketError(int32_t Code);

    // Not published: the owner reaches these directly.
    winsock::SOCKET Handle() const { return FHandle; }
    int32_t AddressFamily() const { return FAddressFamily; }
    int32_t SockType() const { return FSockType; }
    int32_t Protocol() const { return FProtocol; }
    TMyPacketQuee& ReceiveQueue() { return FReceiveQueue; }
    TMyPacketQuee& SendQueue() { return FSendQueue; }
    bool Connected() const { return FConnected; }
    bool Bound() const { return FBound; }

    // Published properties.
    const QString& LocalIP() const { return FLocalIP; }
    void SetLocalIP(const QString& v) { FLocalIP = v; }
    const QString& RemoteIP() const { return FRemoteIP; }
    void SetRemoteIP(const QString& v) { FRemoteIP = v; }
    uint16_t LocalPort() const { return FLocalPort; }
    void SetLocalPort(uint16_t v) { FLocalPort = v; }
    uint16_t RemotePort() const { return FRemotePort; }
    void SetRemotePort(uint16_t v) { FRemotePort = v; }
    bool ReceiveThread() const { return FReceiveThread; }
    void SetReceiveThread(bool v);
    bool SendThread() const { return FSendThread; }
    void SetSendThread(bool v);
    bool BroadCastAccept() const { return FBroadCastAccept; }
    void SetBroadCastAccept(bool v);
    TMySocketType SocketType() const { return FSocketType; }
    void SetSocketType(TMySocketType v);
    bool RaisingSocketErrors() const { return FRaisingSocketErrors; }
    void SetRaisingSocketErrors(bool v) { FRaisingSocketErrors = v; }

    // Events, in the order a form stores them.
    TMyReceiveMethod OnDataReceive;
    TMyReceiveMethod OnBeforeDataSend;
    TMySentMethod OnDataSent;
    TMyNotifyEvent OnOpenSocket;
    TMyNotifyEvent OnCloseSocket;
    TMyNotifyEvent OnBindSocket;
    TMyNotifyEvent OnConnectSocket;
    TMyNotifyEvent OnRead;

private:
    friend class TMySocketNotifier;

    void StartReceiver();
    void StartSender();
    void StopReceiver();
    void StopSender();
    QObject* NotifyWindow();
    void WndProc(int Msg);
    // The handle for a system call: never descriptor 0 when no socket is open.
    winsock::SOCKET SysHandle() const;
    int32_t CheckedSend(int result);

    winsock::SOCKET FHandle = 0;
    int32_t FAddressFamily = 2;
    int32_t FSockType = 2;
    int32_t FProtocol = 17;
    TMyPacketQuee FSendQueue;
    TMyPacketQuee FReceiveQueue;
    std::unique_ptr<TMyReceiver> FReceiver;
    std::unique_ptr<TMySender> FSender;
    QString FLocalIP;
    uint16_t FLocalPort = 0;
    QString FRemoteIP;
    uint16_t FRemotePort = 0;
    bool FReceiveThread = false;
    TMySocketType FSocketType = TMySocketType::stUDP;
    bool FBroadCastAccept = false;
    bool FConnected = false;
    bool FBound = false;
    bool FSendThread = false;
    bool FRaisingSocketErrors = true;
    std::unique_ptr<TMySocketNotifier> FNotifyWindow;
};
