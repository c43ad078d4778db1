#include "report/scansession.h"

#include "scan/replyanalyser.h"

#include <utility>

namespace keelwatch {

ScanSession::ScanSession(const LiveSettings &s, const Clock &c) : settings(s), clock(c) {}

ScanSession::~ScanSession()
{
    EndScan();
}

void ScanSession::EndScan()
{
    if (std::exchange(ended, true))
        return;
    if (scan)
        scan->Controller().Shutdown();
    if (log)
        log->WritePendingEvents();
    // The workers go first, joined, while what they read is here.
    scan.reset();
}

void ScanSession::StartReporting(EventWindows &windows)
{
    syslog = std::make_unique<SyslogSender>(settings, windows);
    log = std::make_unique<EventLog>(settings, clock, windows, *syslog);
    log->Listen(events);
}

void ScanSession::AssembleScan(ScanParts parts)
{
    WorkerScanEngine::Lookups lookups;
    lookups.vendor = [this](const MacAddress &mac) {
        return vendors.LookupVendor(VendorPrefix(mac));
    };
    lookups.comment = [this](const IpAddress &ip) { return comments.LookupComment(ip); };
    lookups.autoScroll = std::move(parts.autoScroll);
    lookups.selectNode = std::move(parts.selectNode);
    lookups.captureCounterShown = &captureCounterShown;
    scan = std::make_unique<ScanAssembly>(ScanAssembly::Parts{
        std::move(parts.driver), parts.status, parts.messages, settings, nodes, parts.view, events,
        parts.logFile ? *parts.logFile : *log, clock, std::move(lookups)});
    log->SetYieldHook([this] { return scan && scan->Workers().RepliesWaiting(); });
    QObject::connect(&scan->Controller(), &ScanController::dayChanged, &scan->Controller(),
                     [this](bool changed) { log->SetDayChanged(changed); });
}

} // namespace keelwatch
