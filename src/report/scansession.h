#pragma once

#include "config/clock.h"
#include "config/settings.h"
#include "core/nodelist.h"
#include "core/scanassembly.h"
#include "core/scanevents.h"
#include "report/commenttable.h"
#include "report/eventlog.h"
#include "report/syslogsender.h"
#include "report/vendortable.h"

#include <atomic>
#include <memory>

namespace keelwatch {

// Everything one scan of one interface needs, built once in one order by
// the desktop program and the sensor alike: the node list and its events,
// vendors and comments, the event log with its syslog sender, and the scan's
// workers and controller. Taken apart in the reverse order: the controller
// shuts down, waiting events are written, then the workers are joined while
// everything they read is still here.
class ScanSession
{
  public:
    // What the windows or the console give the scan.
    struct ScanParts
    {
        std::shared_ptr<PacketDriver> driver;
        CaptureStatus &status;
        WorkerMessages &messages;
        ScanView &view;
        // The event log itself unless the program opens it differently.
        EventLogFile *logFile = nullptr;
        // "Auto Scroll" as the window shows it now; none never scrolls.
        std::function<bool()> autoScroll = {};
        // Shows a node in the grid.
        std::function<void(int index)> selectNode = {};
    };

    ScanSession(const LiveSettings &settings, const Clock &clock);
    // Ends the scan if its owner has not.
    ~ScanSession();
    ScanSession(const ScanSession &) = delete;
    ScanSession &operator=(const ScanSession &) = delete;

    // The event log and the syslog sender, telling windows what they show.
    // Listeners of the events connected before this hear each event before
    // its line is written.
    void StartReporting(EventWindows &windows);
    // The workers and the controller; after StartReporting.
    void AssembleScan(ScanParts parts);
    // The controller shuts down, waiting events are written, and the
    // workers are joined; for owners whose windows the workers use, before
    // those windows go.
    void EndScan();

    const LiveSettings &Settings() const { return settings; }
    NodeList &Nodes() { return nodes; }
    ScanEvents &Events() { return events; }
    VendorTable &Vendors() { return vendors; }
    CommentTable &Comments() { return comments; }
    EventLog &Log() { return *log; }
    ScanController &Controller() { return scan->Controller(); }
    // The scan's workers and engine, for benchmarks that follow its replies.
    ScanAssembly &Scan() { return *scan; }
    // While set, the capture relay reports how many replies it relayed.
    void ShowCaptureCounter(bool shown) { captureCounterShown = shown; }

  private:
    const LiveSettings &settings;
    const Clock &clock;
    NodeList nodes;
    ScanEvents events;
    VendorTable vendors;
    CommentTable comments;
    std::unique_ptr<SyslogSender> syslog;
    std::unique_ptr<EventLog> log;
    bool ended = false;
    // Read by the capture relay's thread.
    std::atomic<bool> captureCounterShown{false};
    // Last, so destroyed first.
    std::unique_ptr<ScanAssembly> scan;
};

} // namespace keelwatch
