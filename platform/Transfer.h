#pragma once

// Work events shared by the HTTP and TFTP clients. They run on the calling
// thread inside the transfer call, so a handler may repaint a progress bar
// but must not run the event loop (a timer could start a second transfer
// inside the first).

#include <cstdint>
#include <functional>

namespace platform {

struct TransferEvents
{
    std::function<void(int64_t Total)> OnWorkBegin; // Total 0: size unknown
    std::function<void(int64_t Count)> OnWork;      // bytes moved so far
    std::function<void()> OnWorkEnd;                // also after a failure
    // Asked between events; true ends the transfer as a failure.
    std::function<bool()> Cancelled;
};

} // namespace platform
