#pragma once

// Work events shared by the HTTP and TFTP clients. They run on the calling
// thread inside the transfer call, so a handler may repaint a progress bar
// but must not run the event loop (a timer could start a second transfer
// inside the first). An exception thrown by a handler ends the transfer and
// leaves the transfer call as it was thrown.

#include <QString>

#include <cstdint>
#include <functional>

namespace platform {

struct TransferEvents
{
    // Once, when the bytes start to move (HTTP: the head of a 2xx answer has
    // arrived; TFTP: before the write request goes out).
    std::function<void(int64_t Total)> OnWorkBegin; // Total 0: size unknown
    std::function<void(int64_t Count)> OnWork;      // bytes moved so far
    // Once after every OnWorkBegin, also after a failure.
    std::function<void()> OnWorkEnd;
    // Asked between events; true ends the transfer as a failure.
    std::function<bool()> Cancelled;
};

// A peer's own words as they reach the operator (a TFTP error text, an HTTP
// status line): the first MaxPeerText characters, then "…" when there were
// more. A message window takes seconds to lay out a whole datagram of text.
inline constexpr qsizetype MaxPeerText = 512;
QString PeerText(const QString& Text);

} // namespace platform
