#pragma once

#include "config/clock.h"
#include "config/settings.h"
#include "core/eventlogfile.h"
#include "core/scanevents.h"
#include "report/eventline.h"
#include "report/eventwindows.h"
#include "report/syslogsender.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>

namespace keelwatch {

// The event writer and its log file. Every event becomes one line in the
// event pane, one line in the log file while it is open and, for some kinds,
// a syslog datagram. Runs on the main thread.
//
// An event is taken down (its node's cells and its time) when it happens and
// written at once, unless the events of the current turn of the event loop
// have used up TurnBudgetNs: a /16 dropping out raises 65,536 events in one
// go, and the window must not freeze while they are written. Those wait and
// are written, in order, over the next turns; an event raised meanwhile
// queues behind them.
class EventLog : public EventLogFile
{
  public:
    static constexpr int PaneLineLimit = 100;
    static constexpr qint64 TurnBudgetNs = 16'000'000;
    // How long events may wait while replies wait to be classified.
    static constexpr int YieldLimitMs = 1000;
    // Lines the log file did not take (a full disk) wait, oldest first, and
    // are tried again at the next line and every RetryMs. Past this many the
    // oldest are dropped; one "#Unwritten_Lines" line (count, times of the
    // first and last dropped) stands in their place once the file takes
    // lines again.
    static constexpr qsizetype UnwrittenLineLimit = 10000;
    static constexpr int RetryMs = 2000;
    // Lines queued before they go to the file in one write, and the most
    // bytes of one write.
    static constexpr qsizetype ChunkLines = 4096;
    static constexpr qsizetype ChunkBytes = 1 << 20;

    EventLog(const LiveSettings &settings, const Clock &clock, EventWindows &windows,
             SyslogSink &syslog);

    // Writes every event of the scan from now on.
    void Listen(const ScanEvents &events);
    // Takes the event down with the clock's time and writes it, now or, when
    // this turn's time is used up, at a later turn.
    void WriteEvent(const ScanEvent &event);

    // Opens the log at a cyclic scan's start, renaming a file last written
    // before today to its dated backup first. Until CloseEventLog every
    // event goes to the file at the log path: a log removed or renamed away
    // meanwhile is opened anew there. A failure goes to the small alert
    // window once, with the path and the system's reason, until a line is
    // written again.
    void OpenEventLog() override;
    void CloseEventLog() override;

    // While the log is open (a cyclic scan runs): one "#Error" line with the
    // text on one line and the time, so that a failure outside the scan,
    // such as a save at exit, is on record too.
    void WriteErrorNote(const QString &text);
    bool IsOpen() const { return logFile.isOpen(); }

    // Makes every line written so far visible to readers of the file.
    void FlushEventLog();
    // Writes the events still waiting for their turn, now: the program is
    // about to end. Opening, closing and error notes do so themselves.
    void WritePendingEvents();
    bool HasPendingEvents() const { return !pending.empty(); }
    // Lines waiting for the file to take them.
    qsizetype UnwrittenLines() const { return qsizetype(unwritten.size()); }

    // The scan's date has passed (or no longer has): the next opening renews
    // the file whatever its time says. Cleared once a file is renewed or new.
    void SetDayChanged(bool changed) { dayChanged = changed; }
    bool DayChangePending() const { return dayChanged; }
    // Tells whether replies wait to be classified: events wait behind them
    // (taken down already, so nothing changes but when they are written),
    // for YieldLimitMs at most.
    void SetYieldHook(std::function<bool()> hook) { repliesWaiting = std::move(hook); }
    // Called after each event; the node viewer reads the new lines if live.
    void SetRefreshHook(std::function<void()> hook) { refresh = std::move(hook); }
    // Called when a rotation starts a new file, so the viewer reads from its
    // beginning.
    void SetRotationHook(std::function<void()> hook) { rotated = std::move(hook); }

  private:
    struct Event
    {
        ScanEvent event;
        // The clock's instant; its date and time are read when the event is
        // written.
        qint64 whenMSecs;
    };

    // Writes waiting events until none is left or, unless all, the turn's
    // time is used up.
    void WriteWaiting(bool all);
    void Write(const Event &event, const Settings &s);
    struct Second
    {
        qint64 number = 0;
        QString text;
        int offset = 0;
    };
    // The instant's second: its date and time text and its offset from UTC.
    const Second &SecondOf(qint64 whenMSecs);
    void WriteToFile(const QByteArray &line, qint64 whenMSecs);
    // Writes the queued lines, keeping at most UnwrittenLineLimit of those
    // the file does not take.
    void WriteQueuedLines();
    void WriteUnwritten();
    // Appends the line whole or, taking back any part that went in, not at all.
    bool AppendWhole(const QByteArray &line);
    bool StillAtPath() const;
    void OpenForAppend(const QString &path);
    void Rotate(const QString &path, const QFileInfo &info, QDate today);
    void ReportFailure(const QString &what, const QString &reason);

    const LiveSettings &settings;
    const Clock &clock;
    EventWindows &windows;
    SyslogSink &syslog;

    QFile logFile;
    // Between OpenEventLog and CloseEventLog, the path every line goes to.
    QString wantedPath;
    bool failureReported = false;
    // A line was cut by a failed write: the next one starts on a line of
    // its own.
    bool lineCut = false;
    bool dayChanged = false;
    bool Yielding();

    std::function<bool()> repliesWaiting;
    QElapsedTimer yieldingFor;
    std::function<void()> refresh;
    std::function<void()> rotated;
    Second lastSecond;

    struct Unwritten
    {
        QByteArray text;
        qint64 whenMSecs;
    };
    std::deque<Unwritten> unwritten;
    qint64 droppedLines = 0;
    qint64 firstDroppedMSecs = 0;
    qint64 lastDroppedMSecs = 0;
    QTimer retryTimer;

    std::deque<Event> pending;
    bool writing = false;
    // Runs out at the event loop's next turn; writing time is counted from
    // the first event of a turn.
    QTimer turnGuard;
    qint64 spentThisTurn = 0;
    // Goes on with the waiting events at the next turn.
    QTimer resumeTimer;
};

} // namespace keelwatch
