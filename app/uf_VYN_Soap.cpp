// The SOAP document pages.
#include "app/uf_VYN.h"

void TfVYN::SetSoapDocument(const QByteArray&)
{
}

QString TfVYN::GetSoapHeaderHost() const
{
    return QString();
}

QString TfVYN::GetSoapPostPath() const
{
    return QString();
}

void TfVYN::SyncSoapHeaderFromURL()
{
}
