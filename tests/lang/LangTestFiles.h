#pragma once

// Files for the localisation tests. Tests run in parallel processes, so a
// file in the shared program folder gets a name of its own per process.
#include "lang/uLanguage.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file in the program folder, removed again when the test ends.
struct ProgramFolderFile
{
    explicit ProgramFolderFile(const QString& stem)
        : Name(QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid()).arg(stem))
    {
    }
    ~ProgramFolderFile() { QFile::remove(Path()); }
    QString Path() const { return ProgramFolder() + Name; }

    const QString Name; // relative to the program folder
};

// A language file with a text for the key "OK", in UTF-8.
inline QByteArray simpleLanguageFile(const QString& okText)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<lang><const><OK text=\"%1\"/></const></lang>\n")
        .arg(okText)
        .toUtf8();
}
