#pragma once

// The device conversations of the conversation window: searches by IP and by
// MAC, waiting for a device, one-record queries and sets, reading and writing
// all setup records, and setting the device IP. They need no widgets: the
// window (TfDataSender) supplies the look through the virtual hooks below,
// so the conversations can run, and be tested, without one.
//
// Everything runs synchronously on the user-interface thread. Between steps
// the conversations let pending events run (RunMessages), so the window
// repaints and its animation plays.

#include "link/u_MySocket.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class TDataManager;
class TDataPacket;

// Steer every conversation: the device's UDP port and the address of the
// network adapter chosen by the operator (0 = the default adapter).
extern uint16_t DevicePort;
extern uint32_t LocalAdapterIP;

// Port of a device when nobody says otherwise.
inline constexpr uint16_t DefaultDevicePort = 30718;

class TDataSenderConversations
{
public:
    // Port 0 means DefaultDevicePort. The socket binds to LocalAdapterIP
    // when an adapter is chosen. DataManager is not owned and may be null.
    TDataSenderConversations(uint16_t Port, TDataManager* DataManager);
    virtual ~TDataSenderConversations();
    TDataSenderConversations(const TDataSenderConversations&) = delete;
    TDataSenderConversations& operator=(const TDataSenderConversations&) = delete;

    TDataManager* DataManager = nullptr;
    QString DeviceIP;  // dotted address of the device in conversation
    uint16_t Port = DefaultDevicePort;
    QString DeviceMAC; // MAC text of the last search
    QString FoundIP;   // address found by the last search by MAC
    int32_t TimeoutMs = 3500;
    // A device answered the last search or set-IP request, or the operator
    // was asked whether to use an address outside the PC's subnets.
    bool Answered = false;
    int32_t RecordsTotal = 0; // records of the last batch read or write
    int32_t RecordsDone = 0;  // of those, answered or acknowledged
    // Of the last conversation (counted anew when one starts while none
    // runs): the waits for datagrams it made, and its tries for a device.
    int32_t WaitCycles = 0;
    int32_t DeviceTries = 0;
    TMySocket MySock;

    // The looks, with the socket settings that go with them.
    void ShowSearching();
    void PrepareTransfer(const QString& IP);
    void PrepareTransfer2(const QString& IP) { PrepareTransfer(IP); }
    void CloseSocket() { MySock.Close(); }
    void SetLocalIP(const QString& Text) { MySock.SetLocalIP(Text); }

    // The status line and the progress bar (0 to 100).
    virtual void SetCaption(const QString& Text) = 0;
    virtual void SetProgress(uint8_t Value) = 0;

    // Searches: the MAC text of the device at IP, or the address of the
    // device with that MAC; empty when none answered. KeepSocket: use the
    // socket as the caller prepared it.
    QString FindMACByIP(const QString& IP, const QString& Caption, QString& MAC, bool KeepSocket);
    QString FindIPByMAC(const QString& MAC, const QString& Caption, QString& IP, bool KeepSocket);
    // Up to 13 broadcast searches by MAC of one second each.
    QString WaitForDevice(const QString& MAC, const QString& Caption, QString& IP);

    // One record; never raise (a failure is a false result).
    bool QueryRecord(TDataPacket* Packet, bool Wait, bool ShowProgress);
    bool SetRecord(TDataPacket* Packet, bool Wait, bool ShowProgress);
    // Every setup record of the model: the count loaded or acknowledged
    // (each record once, however often the device answered it).
    int32_t ReadAllRecords();
    int32_t WriteAllRecords(bool OnlyLoaded);

    // The records the conversations need when the model lacks them.
    static std::unique_ptr<TDataPacket> NewSearchingRecord();
    static std::unique_ptr<TDataPacket> NewSetIPRecord();

    // Setting the device IP. Mask is in network order.
    bool SetIPDirect(const QString& CurrentIP, const QString& NewIP, const QString& Gateway, uint32_t Mask,
                     bool WaitAnswer, bool SkipQuery);
    bool SetIPByMAC(const QString& MAC, const QString& NewIP, const QString& Gateway, uint32_t Mask);
    bool ReadIPSettings(QString& IP, QString& Gateway, uint32_t& Mask);

    // Whether a conversation is running (the window must not go meanwhile).
    bool Conversing() const { return FConversing > 0; }

protected:
    // The searching look: animation shown, progress bar and picture hidden.
    virtual void ShowSearchingLook() = 0;
    // The transfer look: progress bar at 0 and picture shown, no animation.
    virtual void ShowTransferLook() = 0;
    virtual void StartAnimation() = 0;
    virtual void StopAnimation() = 0;
    // Called after each wait of a search, where no events run: the
    // animation may move on by itself meanwhile.
    virtual void AnimationStep() {}
    // Lets pending events run once.
    virtual void RunMessages();
    // A question box owned by the window: the classic button code.
    virtual int Ask(const QString& Text, const QString& Caption, unsigned Flags) = 0;
    // A conversation starts while none runs; the last running one ended
    // (also by an exception; this must not raise).
    virtual void ConversationStarted() {}
    virtual void ConversationFinished() {}

private:
    // Marks a conversation as running for its lifetime.
    class TConversationScope
    {
    public:
        explicit TConversationScope(TDataSenderConversations& c);
        ~TConversationScope();
        TConversationScope(const TConversationScope&) = delete;
        TConversationScope& operator=(const TConversationScope&) = delete;

    private:
        TDataSenderConversations& m_c;
    };

    // The model's packet of that name, else a built-in one kept in Own.
    TDataPacket* PacketOrBuiltIn(const char* Name, std::unique_ptr<TDataPacket>& Own) const;
    // Connects and remembers the peer, so that a socket still connected to
    // another device is noticed.
    void Connect(bool DoBind);
    bool ConnectedElsewhere() const;
    // Connected to DeviceIP:Port; a bound socket or one connected elsewhere
    // is closed first.
    void ReconnectToDevice(bool DoBind);
    // A batch starts on a fresh connection without an explicit bind.
    void ConnectForBatch();
    // The setup packets of the model in model order (only the loaded ones).
    std::vector<TDataPacket*> SetupPackets(bool OnlyLoaded) const;
    // Runs tryOnce(index) up to 13 times with the time-out set to one
    // second; the old time-out comes back on every way out.
    template <class Try>
    bool RetryForDevice(Try tryOnce);
    bool OneRecord(TDataPacket* Packet, bool Wait, bool ShowProgress, bool Set);
    bool AskYes(const QString& Text, const QString& Caption, unsigned Flags);
    bool StaticARPWay(const QString& MAC, const std::array<uint8_t, 6>& Device, const QString& NewIP, uint32_t New,
                      const QString& Gateway, uint32_t Mask, bool Found);
    // The sends and the wait of the static ARP way, with its entry in place.
    bool SendThroughStaticEntry(const QString& MAC, const QString& NewIP, const QString& Gateway, uint32_t Mask);

    int FConversing = 0;
    // The peer the socket was last connected to by a conversation.
    QString FPeerIP;
    uint16_t FPeerPort = 0;
};

// x * 100 / total taken to the nearest integer, halves to even.
uint8_t PercentHalfEven(int64_t x, int64_t total);
