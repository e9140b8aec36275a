#include "platform/CommandText.h"

namespace platform {

namespace {

// A control character that no translated or device text carries.
constexpr QChar kMark(0x1E);

} // namespace

QString CommandLine(const QString& command)
{
    return QStringLiteral("\r\n") + kMark + command;
}

MessageParts SplitCommands(const QString& message)
{
    MessageParts parts;
    if (!message.contains(kMark)) {
        parts.text = message;
        return parts;
    }
    qsizetype from = 0;
    while (from <= message.size()) {
        qsizetype end = message.indexOf(u'\n', from);
        if (end < 0)
            end = message.size();
        QString line = message.mid(from, end - from);
        const bool last = end >= message.size();
        if (line.startsWith(kMark)) {
            if (line.endsWith(u'\r'))
                line.chop(1);
            const QString command = line.mid(1);
            if (!parts.commands.contains(command))
                parts.commands << command;
            // The break that led to the command goes with it.
            if (parts.text.endsWith(u'\n'))
                parts.text.chop(1);
            if (parts.text.endsWith(u'\r'))
                parts.text.chop(1);
            if (!last && !parts.text.isEmpty())
                parts.text += QStringLiteral("\r\n");
        } else {
            parts.text += line;
            if (!last)
                parts.text += u'\n';
        }
        from = end + 1;
    }
    return parts;
}

} // namespace platform
