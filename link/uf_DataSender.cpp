#include "link/uf_DataSender.h"

uint16_t DevicePort = 30718;
uint32_t LocalAdapterIP = 0;
