#pragma once

#include "platform/UniqueFd.h"

#include <QString>

#include <cstdint>

namespace platform {

// The system's text for an errno value (thread-safe, unlike strerror).
QString ErrnoText(int error);

// Dotted text of an IPv4 address in network byte order.
QString Ipv4Text(uint32_t networkOrder);

} // namespace platform
