// Finding a device and loading its records.
#include "app/uf_VYN.h"

void TfVYN::menuIPTlacClick()
{
}

void TfVYN::menuMACTlacClick()
{
}

void TfVYN::cmdLoadValsTlacClick()
{
}

bool TfVYN::FindDevice(uint32_t, TfDataSender*, const std::array<uint8_t, 6>&)
{
    return false;
}
