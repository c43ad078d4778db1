#pragma once

#include "config/clock.h"
#include "core/eventlogfile.h"
#include "report/scansession.h"
#include "scan/packetdriver.h"
#include "sensor/jsonevents.h"
#include "sensor/sensorconsole.h"
#include "sensor/sensoroptions.h"

#include <functional>
#include <memory>

namespace keelwatch {

class ScanController;

// The scanning and reporting parts of the desktop program, wired without
// windows: one scan of one interface, cyclic or a single sweep.
class Sensor : public EventLogFile
{
  public:
    struct Outputs
    {
        // One JSON line per event; none without --json.
        JsonEventSink::Writer json;
        // Messages and warnings, one line each.
        SensorConsole::Printer error;
    };

    // programDir holds oui.txt and comment.txt (/usr/share/ieee-data has the
    // vendors too).
    Sensor(const SensorOptions &options, std::shared_ptr<PacketDriver> driver,
           const QString &programDir, Outputs outputs);
    ~Sensor() override;

    // Starts the scan; false, with the reason told, when it cannot start.
    bool Start();
    // Ends the scan in order: the sweep and capture stop, the log is closed.
    // A scan still running is interrupted.
    void Stop();
    // Closes the event log and opens it again at its path (after logrotate).
    void ReopenEventLog();
    // Called whenever a scan ends: after a single sweep (and its JSON node
    // list), at a stop, and when a new day's scan replaces the old one.
    void SetScanEndedHandler(std::function<void()> handler);
    bool Running() const;
    // 2 after a failure or an interrupted scan; else 1 when some node is
    // confirmed (without confirmation: is a suspect), 0 when none is.
    int ExitCode() const;

    // EventLogFile: only with a log path; the event log writes no file
    // otherwise.
    void OpenEventLog() override;
    void CloseEventLog() override;

  private:
    FixedSettings settings;
    SystemClock clock;
    SensorConsole console;
    // After what it reads: going, it stops and joins every worker.
    ScanSession session;
    std::unique_ptr<JsonEventSink> jsonEvents;
    ScanController *controller = nullptr;
    bool interrupted = false;
};

} // namespace keelwatch
