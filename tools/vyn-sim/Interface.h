#pragma once

#include "Options.h"

#include <optional>
#include <string>

namespace vynsim {

// The network interface the simulated device sits on, in its own namespace.
struct InterfaceInfo
{
    Mac mac{};
    std::optional<std::pair<Ip4, int>> address; // the first IPv4 address and its prefix
};

// Throws std::runtime_error when there is no such interface.
InterfaceInfo QueryInterface(const std::string& name);

// Moves the interface from one address to another and keeps the on-link
// default route by which the device reaches a PC in any subnet. Returns an
// error text, empty on success.
std::string MoveInterface(const std::string& name, std::optional<std::pair<Ip4, int>> from,
                          std::pair<Ip4, int> to);

} // namespace vynsim
