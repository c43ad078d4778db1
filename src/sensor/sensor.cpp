#include "sensor/sensor.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace keelwatch {

Sensor::Sensor(const SensorOptions &options, std::shared_ptr<PacketDriver> driver,
               const QString &programDir, Outputs outputs)
    : settings(options.settings), console(settings, outputs.error), session(settings, clock)
{
    session.Vendors().LoadVendorTable(programDir, outputs.error);
    // Comments are optional beside a sensor; a file that is there but cannot
    // be read is still told.
    if (QFileInfo::exists(QDir(programDir).filePath(u"comment.txt"_s)))
        session.Comments().LoadComments(programDir, outputs.error);
    session.StartReporting(console);
    // After the event log, so a line reaches the log before the JSON stream.
    jsonEvents =
        std::make_unique<JsonEventSink>(settings, session.Nodes(), clock, std::move(outputs.json));
    jsonEvents->Listen(session.Events());
    session.AssembleScan(ScanSession::ScanParts{.driver = std::move(driver),
                                                .status = console,
                                                .messages = console,
                                                .view = console,
                                                .logFile = this});
    controller = &session.Controller();
}

Sensor::~Sensor() = default;

bool Sensor::Start()
{
    controller->Start();
    return controller->Running();
}

void Sensor::Stop()
{
    interrupted = interrupted || controller->Running();
    controller->Stop();
}

void Sensor::ReopenEventLog()
{
    EventLog &log = session.Log();
    if (!log.IsOpen())
        return;
    log.CloseEventLog();
    log.OpenEventLog();
}

void Sensor::SetScanEndedHandler(std::function<void()> handler)
{
    console.SetScanEndedHandler([this, handler = std::move(handler)] {
        if (!settings.Read().cyclic)
            jsonEvents->WriteNodeList();
        if (handler)
            handler();
    });
}

bool Sensor::Running() const
{
    return controller->Running();
}

int Sensor::ExitCode() const
{
    if (console.Failed() || interrupted)
        return 2;
    const int found =
        settings.Read().confirmSuspects ? jsonEvents->Confirmed() : jsonEvents->Suspects();
    return found > 0 ? 1 : 0;
}

void Sensor::OpenEventLog()
{
    if (!settings.Read().logPath.isEmpty())
        session.Log().OpenEventLog();
}

void Sensor::CloseEventLog()
{
    session.Log().CloseEventLog();
}

} // namespace keelwatch
