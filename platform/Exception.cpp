#include "platform/Exception.h"

EConvertError EConvertError::NotAnInteger(const QString& text)
{
    return EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

namespace {

QString EnglishText(EPlatformError::TKind kind, const QStringList& d)
{
    const auto at = [&d](qsizetype i) { return i < d.size() ? d[i] : QString(); };
    switch (kind) {
    case EPlatformError::SettingsNotWritable:
        return QStringLiteral("Unable to write to %1 (%2)").arg(at(0), at(1));
    case EPlatformError::SettingsEntryRefused:
        return QStringLiteral("Unable to write to %1 (the entry [%2] %3 cannot be stored in an INI file)")
            .arg(at(0), at(1), at(2));
    case EPlatformError::FileNotOpened:
        return QStringLiteral("Cannot open file \"%1\". %2").arg(at(0), at(1));
    case EPlatformError::FileNotRead:
        return QStringLiteral("Cannot read file \"%1\". %2").arg(at(0), at(1));
    case EPlatformError::FileTooLarge:
        return QStringLiteral("File \"%1\" is too large.").arg(at(0));
    case EPlatformError::XmlNotWellFormed:
        return (at(0).isEmpty() ? QString() : at(0) + QStringLiteral(": "))
            + QStringLiteral("%1 (line %2, column %3)").arg(at(1), at(2), at(3));
    }
    return QString();
}

} // namespace

EPlatformError::EPlatformError(TKind kind, QStringList detail)
    : Exception(EnglishText(kind, detail)), m_kind(kind), m_detail(std::move(detail))
{
}
