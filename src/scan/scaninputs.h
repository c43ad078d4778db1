#pragma once

#include "config/netaddress.h"
#include "config/settings.h"

#include <QList>
#include <QMetaType>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace keelwatch {

class ProbeLedger;

// The steps of a cycle: the start, List Mode's node-finding sweep, the
// scanning sweep with every switched-on test, and the end of the cycle.
enum class ScanStep { Start = 1, FindingNodes, Scanning, EndOfCycle };

// An address asked again, and the tests it is asked (by test index).
struct RecheckTarget
{
    quint32 address = 0;
    TestFlags tests{};
};

// What the workers of a scan read, taken at Start. The settings are a
// snapshot; the two flags belong to the main window and scan controller and
// must outlive the workers (destroying ScanWorkers ends them all).
struct ScanInputs
{
    Settings settings;
    SourceMacs probeSourceMacs;
    // One source address per confirmation probe, drawn for the scan.
    std::vector<std::array<std::uint8_t, 6>> confirmationSources;
    quint32 rangeStart = 0;
    quint32 rangeEnd = 0;
    // Read afresh for every address.
    const std::atomic<ScanStep> *scanStep = nullptr;
    // While set, the capture relay reports how many replies it relayed.
    const std::atomic<bool> *captureCounterShown = nullptr;
    // List Mode: how many nodes hold this IP. Called on the sender's thread.
    std::function<int(const IpAddress &ip)> nodesWithIp;
    // Vendor name of a MAC's first three bytes. Called on the analyser's
    // thread, once per vendor code in a scan.
    std::function<QString(const MacAddress &mac)> lookupVendor;
    // Set for a recheck with rate pacing on: the sweep sends these targets
    // their tests again, at the rate, instead of walking the range.
    std::vector<RecheckTarget> recheck;
    // The addresses asked in the current sweep: the senders note them, the
    // analyser accepts replies from them alone. Shared by the whole scan.
    std::shared_ptr<ProbeLedger> asked;
};

// One reply as the analyser decoded it, for ClassifyReply on the main thread.
struct DecodedReply
{
    IpAddress ip;        // the sender's
    MacAddress mac;      // the sender's
    int sourceIndex = 0; // 0 to 15
    QString vendor;
    // The confirmation probe answered, or -1 for a reply to a source address.
    int confirmationProbe = -1;
};

// How far the replies of a scan have come: records the capture relay handed
// to the analyser, those of them whose replies the main thread has handled,
// and frames the capture lost because its buffer was full.
struct CaptureTally
{
    quint64 relayed = 0;
    quint64 handled = 0;
    quint64 dropped = 0;
    // Replies that answered no probe of the scan (forged, malformed, to
    // another instance's address on our prefix, or from outside the range).
    quint64 rejected = 0;
    // Receives of the capture that failed.
    quint64 failedReceives = 0;
    // Requests that handed the adapter probes, and the probes they held.
    quint64 sendRequests = 0;
    quint64 probesSent = 0;
};

// How far opening the capture adapter got.
enum class CaptureState {
    Opening,     // the scan is starting
    On,          // capturing with the card in promiscuous mode
    ModeRefused, // capturing, but the card refused promiscuous mode
    NoPacket,    // no packet object for the capture: nothing is received
};

// The state of the capture and send sides, for the status bar. Called on
// the main thread.
class CaptureStatus
{
  public:
    virtual ~CaptureStatus() = default;
    virtual void ShowCaptureState(CaptureState state) = 0;
    // Replies relayed since the scan started, while the counter is shown.
    virtual void ShowRelayedCount(quint64 count) = 0;
    // The current sweep is at address i of N, with about msLeft to go.
    virtual void ShowSweepProgress(qint64 address, qint64 addresses, qint64 msLeft) = 0;
    // Frames the capture lost since the scan started, told when it grows; a
    // status without a place for it leaves it to the event log.
    virtual void ShowCaptureDrops(quint64 dropped) { Q_UNUSED(dropped); }
    // Replies rejected since the scan started, told when it grows.
    virtual void ShowRejectedReplies(quint64 rejected) { Q_UNUSED(rejected); }
};

// Failure messages of the workers. Called on the main thread while the
// worker that raised the message waits; returns once the user has seen it.
class WorkerMessages
{
  public:
    virtual ~WorkerMessages() = default;
    virtual void ShowWorkerMessage(const QString &text) = 0;
};

} // namespace keelwatch

Q_DECLARE_METATYPE(keelwatch::DecodedReply)
