#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <exception>
#include <utility>

// The program's one exception type. Its text is exactly what the user sees,
// so every named failure class derives from it and adds nothing but its type.
class Exception : public std::exception
{
public:
    explicit Exception(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {
    }

    const QString& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A text that should have been a number; the wording is the one users of the
// original tool know from its conversion routines.
class EConvertError : public Exception
{
public:
    using Exception::Exception;

    static EConvertError NotAnInteger(const QString& text);
};

// A failure of a platform service (settings file, file reading, XML parser)
// that reaches the operator. This layer does not know the operator's
// language: Kind says what failed and Detail holds the system's own part
// (path, reason, position) in the order listed, and the layer that shows it
// words it. Message() is the plain English form.
class EPlatformError : public Exception
{
public:
    enum TKind {
        SettingsNotWritable,  // path, reason
        SettingsEntryRefused, // path, section, key
        FileNotOpened,        // path, reason
        FileNotRead,          // path, reason
        FileTooLarge,         // path
        XmlNotWellFormed,     // source (may be empty), reason, line, column
    };

    EPlatformError(TKind kind, QStringList detail);

    TKind Kind() const noexcept { return m_kind; }
    const QStringList& Detail() const noexcept { return m_detail; }

private:
    TKind m_kind;
    QStringList m_detail;
};
