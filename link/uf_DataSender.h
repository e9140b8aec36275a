#pragma once

#include <cstdint>

// Steer every conversation: the device's UDP port and the address of the
// network adapter chosen by the operator (0 = the default adapter).
extern uint16_t DevicePort;
extern uint32_t LocalAdapterIP;
