// The temperature display.
#include "app/uf_VYN.h"

void TfVYN::BeginMeasure()
{
}

void TfVYN::EndMeasure()
{
}
