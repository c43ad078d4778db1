#pragma once

#include "core/scancontroller.h"
#include "core/workerscanengine.h"
#include "scan/scanworkers.h"

#include <memory>

namespace keelwatch {

// The scan's working parts, assembled once and taken apart in the one safe
// order: the controller is told to shut down, then the workers are stopped
// and joined while the controller's snapshot and the engine they read are
// still there. The program, the sensor, tests and benchmarks all own a scan
// through it.
class ScanAssembly
{
  public:
    struct Parts
    {
        std::shared_ptr<PacketDriver> driver;
        CaptureStatus &status;
        WorkerMessages &messages;
        const LiveSettings &settings;
        NodeList &nodes;
        ScanView &view;
        // Receives both the replies' events and the cycles' events.
        ScanEvents &events;
        EventLogFile &log;
        const Clock &clock;
        WorkerScanEngine::Lookups lookups = {};
    };

    explicit ScanAssembly(Parts parts);
    ~ScanAssembly();

    ScanAssembly(const ScanAssembly &) = delete;
    ScanAssembly &operator=(const ScanAssembly &) = delete;

    ScanController &Controller() { return controller; }
    const ScanController &Controller() const { return controller; }
    ScanWorkers &Workers() { return *workers; }

  private:
    std::unique_ptr<ScanWorkers> workers;
    WorkerScanEngine engine;
    ScanController controller;
};

} // namespace keelwatch
