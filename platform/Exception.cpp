#include "platform/Exception.h"

EConvertError EConvertError::NotAnInteger(const QString& text)
{
    return EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}
