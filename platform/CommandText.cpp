#include "platform/CommandText.h"

#include <QTextBoundaryFinder>

namespace platform {

namespace {

// A control character that no translated or device text carries.
constexpr QChar kMark(0x1E);
constexpr QChar kWordJoiner(0x2060);
constexpr QChar kNoBreakSpace(0x00A0);

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
    // A command line goes with its own line break; the text before it keeps
    // its break for the text that follows, or loses it at the end.
    bool endsAtCommand = false;
    for (qsizetype from = 0; from < message.size();) {
        const qsizetype end = message.indexOf(u'\n', from);
        const qsizetype next = end < 0 ? message.size() : end + 1;
        if (message.at(from) == kMark) {
            QStringView command = QStringView(message).mid(from + 1, (end < 0 ? message.size() : end) - from - 1);
            if (command.endsWith(u'\r'))
                command.chop(1);
            if (!command.isEmpty() && !parts.commands.contains(command))
                parts.commands << command.toString();
            endsAtCommand = true;
        } else {
            parts.text += QStringView(message).mid(from, next - from);
            endsAtCommand = false;
        }
        from = next;
    }
    if (endsAtCommand && parts.text.endsWith(u'\n')) {
        parts.text.chop(1);
        if (parts.text.endsWith(u'\r'))
            parts.text.chop(1);
    }
    return parts;
}

QString UnbrokenPath(const QString& path)
{
    // Joiners only where the line breaker would break, so no character is
    // parted from the marks that go with it.
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, path);
    QString out;
    out.reserve(path.size() * 2);
    qsizetype from = 0;
    for (qsizetype at = breaks.toNextBoundary(); at > 0 && at < path.size(); at = breaks.toNextBoundary()) {
        out += QStringView(path).mid(from, at - from);
        out += kWordJoiner;
        from = at;
    }
    out += QStringView(path).mid(from);
    return out.replace(u' ', kNoBreakSpace);
}

QString LoosenWidePaths(const QString& text, const std::function<bool(const QString&)>& fits)
{
    if (!text.contains(kWordJoiner) && !text.contains(kNoBreakSpace))
        return text;
    // The runs no line may break inside, as the line breaker finds them.
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    for (qsizetype at = breaks.toNextBoundary(); at > 0; at = breaks.toNextBoundary()) {
        QString run = text.mid(from, at - from);
        if ((run.contains(kWordJoiner) || run.contains(kNoBreakSpace)) && !fits(run))
            run.remove(kWordJoiner).replace(kNoBreakSpace, u' ');
        out += run;
        from = at;
    }
    return out + text.mid(from);
}

QString PlainMessage(const QString& message)
{
    QString plain = message;
    return plain.remove(kMark).remove(kWordJoiner).replace(kNoBreakSpace, u' ');
}

} // namespace platform
