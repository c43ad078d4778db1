#pragma once

#include "config/clock.h"
#include "core/nodelist.h"
#include "core/scanevents.h"

#include <QByteArray>
#include <QObject>

#include <functional>
#include <optional>

namespace keelwatch {

// Writes every event of a scan as one line of JSON, when a writer is given:
// time, ip, mac, vendor, comment, test and event, each where the event has
// it, and "alert": true on the events that alert in the desktop program.
// Counts the suspects and the confirmed nodes on the way.
class JsonEventSink : public QObject
{
    Q_OBJECT

  public:
    using Writer = std::function<void(const QByteArray &line)>;

    JsonEventSink(const LiveSettings &settings, const NodeList &nodes, const Clock &clock,
                  Writer writer);

    // Writes events's events from now on: connect the event log first, so
    // that lines reach the log before they reach the JSON stream.
    void Listen(const ScanEvents &events);
    void WriteEvent(const ScanEvent &event);

    // After a single sweep: one "NODE" line per node of the list, with the
    // tests it answered, whether that makes it a suspect, and its verdict.
    void WriteNodeList();

    // Nodes reported as promiscuous suspects or as started being promiscuous.
    int Suspects() const { return suspects; }
    // Confirmed verdicts reported.
    int Confirmed() const { return confirmed; }

  private:
    const LiveSettings &settings;
    const NodeList &nodes;
    const Clock &clock;
    Writer writer;
    int suspects = 0;
    int confirmed = 0;
};

// The JSON line of one event, ending in a line feed. format is the probes'
// frame format, which a lost answer is told in.
QByteArray JsonEventLine(const ScanEvent &event, const QDateTime &when, FrameFormat format);

// The "NODE" line of a node after a single sweep: "answers" lists the tests
// it answered, "suspect" is true when it answered Br and a test that a card
// in normal mode drops, "verdict" is "confirmed", "filter match" or "none",
// and a node sent confirmation probes tells "answered" of "probes".
QByteArray JsonNodeLine(const Node &node, ConfirmationVerdict verdict, std::optional<int> answered,
                        const QDateTime &when);

} // namespace keelwatch
