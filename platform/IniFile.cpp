#include "platform/IniFile.h"

#include "platform/Exception.h"
#include "platform/FileRead.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

#include <optional>
#include <utility>
#include <vector>

namespace platform {

namespace {

// One line of the file as it stands on disk, so untouched lines are written
// back byte for byte, whatever their encoding or line ending.
struct Line
{
    QByteArray text;
    QByteArray eol;
};

enum class LineKind { Blank, Section, Key, Other };

struct ParsedLine
{
    LineKind kind = LineKind::Other;
    QString name;  // section name or key
    QString value; // value of a key line
};

std::vector<Line> splitLines(const QByteArray& bytes)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype nl = bytes.indexOf('\n', start);
        if (nl < 0) {
            lines.push_back({bytes.mid(start), {}});
            break;
        }
        qsizetype end = nl;
        if (end > start && bytes[end - 1] == '\r')
            --end;
        lines.push_back({bytes.mid(start, end - start), bytes.mid(end, nl + 1 - end)});
        start = nl + 1;
    }
    return lines;
}

ParsedLine parseLine(QByteArray text, bool first)
{
    if (first && text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    const QString line = QString::fromUtf8(text).trimmed();
    ParsedLine parsed;
    if (line.isEmpty()) {
        parsed.kind = LineKind::Blank;
    } else if (line.startsWith(u';') || line.startsWith(u'#')) {
        parsed.kind = LineKind::Other;
    } else if (line.startsWith(u'[')) {
        const qsizetype close = line.indexOf(u']');
        if (close > 0) {
            parsed.kind = LineKind::Section;
            parsed.name = line.mid(1, close - 1).trimmed();
        }
    } else if (const qsizetype eq = line.indexOf(u'='); eq > 0) {
        parsed.kind = LineKind::Key;
        parsed.name = line.left(eq).trimmed();
        parsed.value = line.mid(eq + 1).trimmed();
    }
    return parsed;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a section and one of its keys lie among the lines.
struct Location
{
    std::optional<size_t> section;    // header line of the first matching section
    std::optional<size_t> key;        // first matching key line inside it
    std::optional<size_t> lastFilled; // last non-blank line inside it
    QString value;
};

Location locate(const std::vector<Line>& lines, const QString& section, const QString& key)
{
    Location loc;
    for (size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = parseLine(lines[i].text, i == 0);
        if (parsed.kind == LineKind::Section) {
            if (loc.section)
                return loc;
            if (sameName(parsed.name, section))
                loc.section = i;
            continue;
        }
        if (!loc.section)
            continue;
        if (parsed.kind != LineKind::Blank)
            loc.lastFilled = i;
        if (parsed.kind == LineKind::Key && !loc.key && sameName(parsed.name, key)) {
            loc.key = i;
            loc.value = parsed.value;
        }
    }
    return loc;
}

// A value in double quotes stands for what lies between them, so a value
// can keep characters that the line would otherwise lose.
bool isQuoted(const QString& value)
{
    return value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"');
}

bool hasLineBreak(const QString& s)
{
    return s.contains(u'\n') || s.contains(u'\r');
}

} // namespace

IniFile::IniFile(QString fileName)
    : m_fileName(std::move(fileName))
{
}

QString IniFile::ReadString(const QString& section, const QString& key,
                            const QString& defaultValue) const
{
    // Only a regular file. The reader would refuse anything else too, but
    // opening a FIFO already lets a writer waiting on it go.
    if (!QFileInfo(m_fileName).isFile())
        return defaultValue;
    QByteArray bytes;
    try {
        bytes = ReadFileWithin(m_fileName);
    } catch (const EPlatformError&) {
        // Unreadable, or too large to be a settings file: the defaults stand,
        // and writing says what is wrong with it.
        return defaultValue;
    }
    const Location loc = locate(splitLines(bytes), section, key);
    if (!loc.key)
        return defaultValue;
    return isQuoted(loc.value) ? loc.value.mid(1, loc.value.size() - 2) : loc.value;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QString sectionName = section.trimmed();
    const QString keyName = key.trimmed();
    if (sectionName.isEmpty() || sectionName.contains(u']') || hasLineBreak(sectionName)
        || keyName.isEmpty() || keyName.contains(u'=') || hasLineBreak(keyName)
        || keyName.startsWith(u'[') || keyName.startsWith(u';') || keyName.startsWith(u'#')
        || hasLineBreak(value)) {
        throw EPlatformError(EPlatformError::SettingsEntryRefused, {m_fileName, section, key});
    }

    QByteArray old;
    const QFileInfo info(m_fileName);
    if (info.exists()) {
        // Replacing a FIFO or a device (or what a link to one points at) with
        // a plain file is never what the operator wants.
        if (!info.isFile())
            throw EPlatformError(EPlatformError::SettingsNotWritable, {m_fileName, QStringLiteral("not a regular file")});
        // The system lets root write anything; the file's own permission
        // still says whether it may change.
        if (!(info.permissions() & (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther)))
            throw EPlatformError(EPlatformError::SettingsNotWritable, {m_fileName, QStringLiteral("the file is read-only")});
        // A file we cannot read whole must not be replaced by one holding our
        // key only; one too large is refused as such.
        try {
            old = ReadFileWithin(m_fileName);
        } catch (const EPlatformError& e) {
            if (e.Kind() == EPlatformError::FileTooLarge)
                throw;
            throw EPlatformError(EPlatformError::SettingsNotWritable, {m_fileName, e.Detail().value(1)});
        }
    }

    std::vector<Line> lines = splitLines(old);
    QByteArray eol = "\n";
    for (const Line& line : lines) {
        if (!line.eol.isEmpty()) {
            eol = line.eol;
            break;
        }
    }
    const Location loc = locate(lines, sectionName, keyName);
    // A value that is itself in quotes keeps them through a read.
    const QString stored = isQuoted(value.trimmed()) ? u'"' + value.trimmed() + u'"' : value.trimmed();
    const QByteArray valueBytes = stored.toUtf8();
    const QByteArray keyLine = keyName.toUtf8() + '=' + valueBytes;

    // Gives a line its line end before another line is put behind it.
    auto terminate = [&](size_t i) {
        if (lines[i].eol.isEmpty())
            lines[i].eol = eol;
    };

    if (loc.key) {
        Line& line = lines[*loc.key];
        qsizetype cut = line.text.indexOf('=') + 1;
        while (cut < line.text.size() && (line.text[cut] == ' ' || line.text[cut] == '\t'))
            ++cut;
        line.text = line.text.left(cut) + valueBytes;
    } else if (loc.section) {
        const size_t after = loc.lastFilled.value_or(*loc.section);
        terminate(after);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after) + 1, Line{keyLine, eol});
    } else {
        if (!lines.empty()) {
            terminate(lines.size() - 1);
            if (parseLine(lines.back().text, lines.size() == 1).kind != LineKind::Blank)
                lines.push_back({{}, eol});
        }
        lines.push_back({'[' + sectionName.toUtf8() + ']', eol});
        lines.push_back({keyLine, eol});
    }

    QByteArray bytes;
    bytes.reserve(old.size() + keyLine.size() + 16);
    for (const Line& line : lines)
        bytes += line.text + line.eol;
    // A file past the limit would be read as no file at the next start:
    // every setting would fall back to its default.
    if (bytes.size() > MaxOperatorFileSize)
        throw EPlatformError(EPlatformError::FileTooLarge, {m_fileName});

    QSaveFile out(m_fileName);
    // Where no temporary file can be made beside it (a writable file in a
    // read-only folder), writing in place is still better than failing.
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw EPlatformError(EPlatformError::SettingsNotWritable, {m_fileName, out.errorString()});
    // The new file is root's when root writes it; the operator's own file
    // must stay the operator's, or the next ordinary run cannot write it.
    if (info.exists() && ::geteuid() == 0) {
        const QFileInfo now(m_fileName);
        if (now.ownerId() != info.ownerId() || now.groupId() != info.groupId())
            (void)::chown(QFile::encodeName(m_fileName).constData(), info.ownerId(), info.groupId());
    }
}

} // namespace platform
