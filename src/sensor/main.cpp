#include "config/adapterlist.h"
#include "config/settingsstore.h"
#include "core/signalcalls.h"
#include "scan/pcapdriver.h"
#include "sensor/sensor.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTimer>

#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void PrintLine(std::FILE *stream, const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fflush(stream);
}

void PrintError(const QString &text)
{
    PrintLine(stderr, "keelwatch-sensor: " + text.toLocal8Bit() + '\n');
}

} // namespace

int main(int argc, char **argv)
{
    // A stop, Ctrl+C or log rotation while the sensor starts is handled once
    // it can be, in order.
    keelwatch::HoldSignals({SIGTERM, SIGINT, SIGHUP});
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"keelwatch-sensor"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(KEELWATCH_VERSION));

    auto driver = std::make_shared<keelwatch::PcapDriver>();
    const keelwatch::AdapterList adapters = keelwatch::FillAdapterList(*driver);
    const keelwatch::SensorCommand command =
        keelwatch::ParseSensorCommand(QCoreApplication::arguments(), adapters.adapters);
    using Action = keelwatch::SensorCommand::Action;
    if (command.action == Action::Help || command.action == Action::Version) {
        PrintLine(stdout, command.text.toLocal8Bit() + (command.text.endsWith(u'\n') ? "" : "\n"));
        return 0;
    }
    if (command.action == Action::Refuse) {
        PrintError(command.text);
        PrintLine(stderr, "Try 'keelwatch-sensor --help' for the options.\n");
        return 2;
    }

    // The card is opened now and kept for every scan of the run, so that
    // the sensor gives up its capabilities before it sends anything: the
    // process that parses files and talks TLS holds none.
    const QString &interfaceName = command.options.settings.adapter.name;
    if (!driver->UsesCaptureHelper() && !interfaceName.isEmpty()) {
        QString reason;
        if (!driver->KeepInterfaceOpen(interfaceName, &reason)) {
            PrintError(u"libpcap cannot open the adapter. "_s + reason);
            return 2;
        }
    }
    if (keelwatch::PcapDriver::HoldsCapabilities() && !keelwatch::PcapDriver::DropCapabilities()) {
        PrintError(u"cannot give up its capabilities"_s);
        return 2;
    }

    keelwatch::SensorOptions options = command.options;
    // Without one given, every instance probes from its installation's own.
    if (!options.settings.ownMac)
        options.settings.ownMac = keelwatch::KeptOwnMac(
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                u"/Quillstone/keelwatch/own-mac"_s,
            PrintError);

    keelwatch::Sensor::Outputs outputs;
    outputs.error = PrintError;
    if (command.options.json)
        outputs.json = [](const QByteArray &line) { PrintLine(stdout, line); };
    keelwatch::Sensor sensor(options, driver, QCoreApplication::applicationDirPath(), outputs);
    // Judged from the event loop: by then the step that ended the scan has
    // completed, and a new day's scan has started or failed to.
    const bool once = command.options.once;
    sensor.SetScanEndedHandler([&app, &sensor, once] {
        QTimer::singleShot(0, &app, [&sensor, once] {
            if (once) {
                QCoreApplication::exit(sensor.ExitCode());
            } else if (!sensor.Running()) {
                // A monitor that stopped scanning must not look alive to
                // its service manager.
                PrintError(u"the scan could not be started again"_s);
                QCoreApplication::exit(2);
            }
        });
    });
    // A service stop or Ctrl+C ends the sensor; logrotate's SIGHUP reopens
    // the log. A single sweep cut short has no result to tell.
    const auto quit = [&sensor, once] {
        sensor.Stop();
        QCoreApplication::exit(once ? sensor.ExitCode() : 0);
    };
    keelwatch::SignalCalls signalCalls(
        {{SIGTERM, quit}, {SIGINT, quit}, {SIGHUP, [&sensor] { sensor.ReopenEventLog(); }}});
    if (!sensor.Start())
        return 2;
    return app.exec();
}
