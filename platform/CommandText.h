#pragma once

// A command a message tells a person to run travels inside the message text
// on a line of its own, marked, so that whatever shows the message can set
// it apart: whole, on one line, where it can be selected and copied.

#include <QString>
#include <QStringList>

#include <functional>

namespace platform {

// The command as a line of a message: a line break, the mark, the command.
// What follows it in the message starts on a line of its own anyway, as
// the message's own text starts there after a line break.
QString CommandLine(const QString& command);

struct MessageParts
{
    QString text;        // the message without its command lines
    QStringList commands; // the commands, in order, each once
};

// Takes the marked lines out of a message. The text keeps every other line
// as it was, with its own line breaks (CR LF or LF); a command line goes
// with the break that ends it, and a break left at the end of the text by a
// command that ended the message goes too. Whatever shows the parts shows
// the commands below the whole text.
MessageParts SplitCommands(const QString& message);

// A path as it stands inside a message's text: whole on one line wherever
// the text wraps. A word joiner stands at each place a line could break
// inside it, and its spaces are no-break spaces (a wrapped label breaks after
// a space whatever follows it). A path wider than the window still breaks
// where the window makes it.
QString UnbrokenPath(const QString& path);

// The text with the break chances back inside each path that would not fit
// on a line anyway (fits says whether a run of the text does): a window then
// breaks it at its separators rather than cutting it off.
QString LoosenWidePaths(const QString& text, const std::function<bool(const QString&)>& fits);

// The message for a terminal: each command stays on its own line, unmarked,
// and the paths have their own characters again.
QString PlainMessage(const QString& message);

} // namespace platform
