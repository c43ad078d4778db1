#pragma once

#include "config/clock.h"
#include "core/eventsink.h"
#include "core/nodetable.h"

#include <QByteArray>

#include <functional>

namespace keelwatch {

// Passes every event on to the event log and, when a writer is given, writes
// it as one line of JSON as well: time, ip, mac, vendor, comment, test and
// event, each where the event has it. Counts the suspects on the way.
class JsonEventSink : public EventSink
{
  public:
    using Writer = std::function<void(const QByteArray &line)>;

    JsonEventSink(EventSink &log, const LiveSettings &settings, const NodeTable &nodes,
                  const Clock &clock, Writer writer);

    void WriteEvent(const QString &kind, int number, int row) override;

    // After a single sweep: one "NODE" line per node of the table, with the
    // tests it answered and whether that makes it a suspect.
    void WriteNodeList();

    // Nodes reported as promiscuous suspects or as started being promiscuous.
    int Suspects() const { return suspects; }

  private:
    EventSink &log;
    const LiveSettings &settings;
    const NodeTable &nodes;
    const Clock &clock;
    Writer writer;
    int suspects = 0;
};

// The JSON line of one event, ending in a line feed. format is the probes'
// frame format, which a lost answer ("+") is told in.
QByteArray JsonEventLine(const QString &kind, int number, const NodeTable::Row &cells,
                         const QDateTime &when, FrameFormat format);

// The "NODE" line of a node row after a single sweep: "answers" lists the
// tests it answered, "suspect" is true when it answered Br and a test that a
// card in normal mode drops.
QByteArray JsonNodeLine(const NodeTable::Row &cells, const QDateTime &when);

} // namespace keelwatch
