#pragma once

namespace keelwatch {

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
