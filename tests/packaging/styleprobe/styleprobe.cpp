// A style plugin as a user could drop into QT_PLUGIN_PATH: asked for the
// style "capprobe", it writes the capability lines of the process it was
// loaded into to the file KEELWATCH_STYLE_PROBE names, and gives no style.

#include <QFile>
#include <QStylePlugin>

class CapabilityProbeStyle : public QStylePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "styleprobe.json")

  public:
    QStyle *create(const QString &) override
    {
        QFile status(QStringLiteral("/proc/self/status"));
        QFile report(qEnvironmentVariable("KEELWATCH_STYLE_PROBE"));
        if (status.open(QIODevice::ReadOnly) && report.open(QIODevice::WriteOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("Cap"))
                    report.write(line + '\n');
            }
        }
        return nullptr;
    }
};

#include "styleprobe.moc"
