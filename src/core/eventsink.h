#pragma once

#include <QString>

namespace keelwatch {

// Where scan events go: the event log's WriteEvent. Kinds are "start",
// "cycle", "dropped", "mac", "SUSPECT", "UP", "DOWN" and the result marks
// ("X", "x", "O", "o", "+"); number is a result column, the cycle count or
// the frames the capture lost in the cycle ("dropped"), row a node table
// row. With "Confirm suspects", "UP-FILTER-MATCH" is an UP of a node
// that was not confirmed, and "CONFIRMED" and "FILTER-MATCH" follow each
// SUSPECT and UP with the confirmation probes answered as number. Called on
// the main thread only.
class EventSink
{
  public:
    virtual ~EventSink() = default;
    virtual void WriteEvent(const QString &kind, int number, int row) = 0;
};

// The event log file as the scan controller drives it: opened (and rotated)
// at the start of a cyclic scan, closed at Stop.
class EventLogFile
{
  public:
    virtual ~EventLogFile() = default;
    virtual void OpenEventLog() = 0;
    virtual void CloseEventLog() = 0;
};

} // namespace keelwatch
