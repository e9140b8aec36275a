// A generic Qt plugin for the capability test: when Qt makes it, it writes
// the CapEff, CapPrm, CapInh and CapAmb lines of its process's status to
// the file named in VYN_CAPPROBE_FILE.
#include <QFile>
#include <QGenericPlugin>

class TCapProbe : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "capprobe.json")

public:
    QObject* create(const QString&, const QString&) override
    {
        QFile status(QStringLiteral("/proc/self/status"));
        QFile out(qEnvironmentVariable("VYN_CAPPROBE_FILE"));
        if (status.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("CapEff:") || line.startsWith("CapPrm:") || line.startsWith("CapInh:") ||
                    line.startsWith("CapAmb:"))
                    out.write(line + '\n');
        return new QObject;
    }
};

#include "CapProbe.moc"
