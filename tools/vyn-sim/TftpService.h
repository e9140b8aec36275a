#pragma once

#include "Device.h"
#include "EventLoop.h"
#include "Socket.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vynsim {

namespace tftp {
enum Opcode : uint16_t { RRQ = 1, WRQ = 2, DATA = 3, ACK = 4, ERROR = 5, OACK = 6 };
enum Error : uint16_t { Undefined = 0, AccessViolation = 2, DiskFull = 3, IllegalOperation = 4,
                        OptionRefused = 8 };
constexpr size_t kBlockSize = 512;      // the device's block size
constexpr size_t kMaxImage = 1 << 20;   // far more than a SOAP document needs
} // namespace tftp

struct TftpRequest
{
    uint16_t opcode = 0;
    std::string file;
    std::string mode;
    std::vector<std::pair<std::string, std::string>> options; // names in lower case
};

// A read or write request; nothing when the datagram is not one.
std::optional<TftpRequest> ParseTftpRequest(const Bytes& datagram);

// What the device makes of a request: refused with an error, or accepted
// with the options it answers in its OACK (none: a plain ACK 0).
struct TftpAcceptance
{
    bool accepted = false;
    uint16_t errorCode = 0;
    std::string error;
    size_t blockSize = tftp::kBlockSize;
    int timeoutS = 0; // 0: the client gave none
    std::vector<std::pair<std::string, std::string>> oack;
};
TftpAcceptance AcceptRequest(const TftpRequest& request);

Bytes TftpErrorPacket(uint16_t code, const std::string& text);

// TFTP on port 69: takes the upload of "WEB6", a CoB1 image, and stores the
// SOAP document it carries.
class TftpService
{
public:
    TftpService(EventLoop& loop, Device& device);

private:
    struct Session
    {
        Fd fd;
        std::string peer;
        size_t blockSize = tftp::kBlockSize;
        int timeoutMs = 1000;
        int repeatMs = 1000; // our last packet goes again this long after it went
        Bytes image;
        uint16_t expected = 1;
        Bytes lastSent;
        int retries = 0;
        uint64_t timer = 0;
        bool finished = false;
    };

    void OnRequest();
    void OnSessionReadable(int fd);
    void OnData(int fd, Session& s, uint16_t block, const uint8_t* data, size_t size);
    void Send(Session& s, Bytes packet);
    void Arm(int fd, int ms);
    void End(int fd);

    EventLoop& m_loop;
    Device& m_device;
    Fd m_socket;
    std::map<int, std::unique_ptr<Session>> m_sessions;
};

} // namespace vynsim
