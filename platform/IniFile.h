#pragma once

#include <QString>

namespace platform {

// A plain INI file ("[section]" lines and "key=value" lines), read and written
// the traditional way: section and key names compare without regard to case,
// values are taken as they stand (trimmed, no escaping; a value in double
// quotes is read without them), and lines starting with ';' or '#' are
// comments. Only a regular file is read or written.
//
// Every call goes to the file itself, so two objects on one file never see
// stale data. Writing one key rewrites only that key's line (or inserts one);
// every other byte of the file - other sections and keys, comments, blank
// lines, unreadable junk, line endings - stays as it was.
class IniFile
{
public:
    explicit IniFile(QString fileName);

    const QString& FileName() const { return m_fileName; }

    // The value of key in section; defaultValue when the file, the section
    // or the key is missing or the file cannot be read or is larger than
    // MaxOperatorFileSize. Within a section repeated in the file only the
    // first occurrence counts.
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;

    // Stores value under section/key, creating the file, the section or the
    // key as needed. Throws EPlatformError when the file exists but is not a
    // regular file, has no write permission (whoever runs the program),
    // cannot be read, is too large or would become so (FileTooLarge; it is
    // left as it is) or cannot be written, or when the names or value cannot
    // be written as plain INI (line breaks, a ']' in a section name, a '='
    // in a key). The file is replaced only once the new content has been
    // written whole, keeping its owner.
    void WriteString(const QString& section, const QString& key, const QString& value);

private:
    QString m_fileName;
};

} // namespace platform
