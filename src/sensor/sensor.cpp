#include "sensor/sensor.h"

#include "core/scanassembly.h"
#include "report/eventlog.h"
#include "report/syslogsender.h"
#include "scan/replyanalyser.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace keelwatch {

Sensor::Sensor(const SensorOptions &options, std::shared_ptr<PacketDriver> driver,
               const QString &programDir, Outputs outputs)
    : settings(options.settings), console(settings, outputs.error)
{
    vendors.LoadVendorTable(programDir, outputs.error);
    // Comments are optional beside a sensor; a file that is there but cannot
    // be read is still told.
    if (QFileInfo::exists(QDir(programDir).filePath(u"comment.txt"_s)))
        comments.LoadComments(programDir, outputs.error);
    syslog = std::make_unique<SyslogSender>(settings, console);
    events = std::make_unique<EventLog>(settings, nodes, clock, console, *syslog);
    jsonEvents =
        std::make_unique<JsonEventSink>(*events, settings, nodes, clock, std::move(outputs.json));

    WorkerScanEngine::Lookups lookups;
    lookups.vendor = [this](const MacAddress &mac) {
        return vendors.LookupVendor(VendorPrefix(mac));
    };
    lookups.comment = [this](const QString &ip) { return comments.LookupComment(ip); };
    lookups.autoScroll = [] { return false; };
    lookups.selectRow = [](int) {};
    lookups.captureCounterShown = &captureCounterShown;
    scan = std::make_unique<ScanAssembly>(ScanAssembly::Parts{std::move(driver), console, console,
                                                              settings, nodes, console, *jsonEvents,
                                                              *this, clock, std::move(lookups)});
    controller = &scan->Controller();
    events->SetDayChangeFlag(&controller->DayChangeFlag());
}

Sensor::~Sensor()
{
    controller->Shutdown();
    events->WritePendingEvents();
    // The workers go first, joined, while the controller they read is here.
    scan.reset();
}

bool Sensor::Start()
{
    controller->Start();
    return controller->Running();
}

void Sensor::Stop()
{
    controller->Stop();
}

void Sensor::ReopenEventLog()
{
    if (!events->IsOpen())
        return;
    events->CloseEventLog();
    events->OpenEventLog();
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
    if (console.Failed())
        return 2;
    return jsonEvents->Suspects() > 0 ? 1 : 0;
}

void Sensor::OpenEventLog()
{
    if (!settings.Read().logPath.isEmpty())
        events->OpenEventLog();
}

void Sensor::CloseEventLog()
{
    events->CloseEventLog();
}

} // namespace keelwatch
