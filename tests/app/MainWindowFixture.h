#pragma once

// A main window's surroundings for a test: a fresh working directory (where
// "VYN.dmi" would be found), a settings file in it, and the globals the
// window touches put back afterwards.
#include "app/uf_VYN.h"
#include "lang/uLanguage.h"
#include "lang/uLanguageForms.h"
#include "link/MessageTaker.h"
#include "link/uf_DataSender.h"
#include "platform/Exception.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        oldCwd = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
        ini = dir.filePath(QStringLiteral("vyn.ini"));
        InstallWindowTranslation();
        // Any value but the default adapter's, to see start-up choose it.
        LocalAdapterIP = 0x0100007F;
    }

    void TearDown() override
    {
        QDir::setCurrent(oldCwd);
        SetLanguageIniName(QString());
        Language = TLanguage();
        LocalAdapterIP = 0;
    }

    static void WriteFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    static QByteArray ReadFile(const QString& name)
    {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The text the window's creation fails with; empty when it succeeds.
    QString CreationError()
    {
        try {
            TfVYN window(nullptr, ini);
        } catch (const Exception& e) {
            return e.Message();
        }
        return QString();
    }

    QTemporaryDir dir;
    QString oldCwd;
    QString ini;
    // A dialog nobody answers fails the test within seconds.
    TModalGuard modalGuard{std::chrono::seconds(5), CountsDown};
};

// Mapping documents, each with one fault of its outer elements.
struct MappingFault {
    const char* name;
    QByteArray document;
    QString text;
};

inline std::vector<MappingFault> MappingFaults()
{
    return {
        {"no device_mapping", "<root><mapping device_type=\"VYN\"><datamanager/></mapping></root>",
         QStringLiteral("Device mapping not found.")},
        {"no device_type", "<root><device_mapping><datamanager/></device_mapping></root>",
         QStringLiteral("Device type not specified.")},
        {"other device_type", "<root><device_mapping device_type=\"vyn\"><datamanager/></device_mapping></root>",
         QStringLiteral("Wrong device type.")},
        {"no datamanager", "<root><device_mapping device_type=\"VYN\"><data_manager/></device_mapping></root>",
         QStringLiteral("Data manager not defined.")},
    };
}
