// Giving a device a new address through the wizard.
#include "app/uf_VYN.h"

void TfVYN::menuSetIPTlacClick()
{
}
