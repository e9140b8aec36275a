// The SOAP document pages.
#include "app/uf_VYN.h"

void TfVYN::SetSoapDocument(const QByteArray&)
{
}
