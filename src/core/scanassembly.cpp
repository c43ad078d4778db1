#include "core/scanassembly.h"

namespace keelwatch {

namespace {

WorkerScanEngine::Lookups WithClock(WorkerScanEngine::Lookups lookups, const Clock &clock)
{
    if (!lookups.clock)
        lookups.clock = &clock;
    return lookups;
}

} // namespace

ScanAssembly::ScanAssembly(Parts parts)
    : workers(std::make_unique<ScanWorkers>(std::move(parts.driver), parts.status, parts.messages)),
      engine(*workers, parts.nodes, parts.events, WithClock(std::move(parts.lookups), parts.clock)),
      controller(ScanController::Parts{parts.settings, parts.nodes, engine, parts.view,
                                       parts.events, parts.log, parts.clock})
{
}

ScanAssembly::~ScanAssembly()
{
    controller.Shutdown();
    // The workers go first, joined, while what they read is here.
    workers.reset();
}

} // namespace keelwatch
