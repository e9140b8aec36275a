// The settings pages and their mapping onto the model's items.
#include "app/uf_VYN.h"

bool TfVYN::DataToControls()
{
    return true;
}

bool TfVYN::ControlsToData()
{
    return true;
}

void TfVYN::ShowErrorPlace()
{
}
