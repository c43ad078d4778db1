#include "report/eventlog.h"

#include "config/datetimetext.h"
#include "report/eventline.h"

#include <QDir>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

using namespace Qt::StringLiterals;

namespace keelwatch {

EventLog::EventLog(const LiveSettings &settings, const Clock &clock, EventWindows &windows,
                   SyslogSink &syslog)
    : settings(settings), clock(clock), windows(windows), syslog(syslog)
{
    turnGuard.setSingleShot(true);
    turnGuard.setInterval(0);
    resumeTimer.setSingleShot(true);
    resumeTimer.setInterval(0);
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(RetryMs);
    QObject::connect(&retryTimer, &QTimer::timeout, &retryTimer, [this] {
        if (!wantedPath.isEmpty())
            WriteUnwritten();
    });
    QObject::connect(&resumeTimer, &QTimer::timeout, &resumeTimer, [this] {
        // A turn of its own, whether or not the guard has run out yet.
        turnGuard.start();
        spentThisTurn = 0;
        WriteWaiting(false);
    });
}

void EventLog::Listen(const ScanEvents &events)
{
    ForwardScanEvents(events, &resumeTimer, [this](const ScanEvent &event) { WriteEvent(event); });
}

void EventLog::WriteEvent(const ScanEvent &event)
{
    // The event holds its node as it is now: by the time a queued event is
    // written the node may have changed.
    pending.push_back(Event{event, clock.NowMSecsSinceEpoch()});
    // A window that blocks in the syslog step (a message box run with its own
    // event loop) lets timers and queued replies raise further events. Those
    // wait here until the current event is complete, so events never overlap.
    // Events that wait for a later turn are written before this one.
    if (writing || resumeTimer.isActive())
        return;
    WriteWaiting(false);
}

void EventLog::WritePendingEvents()
{
    WriteWaiting(true);
}

void EventLog::WriteWaiting(bool all)
{
    if (writing)
        return;
    writing = true;
    if (!turnGuard.isActive()) {
        turnGuard.start();
        spentThisTurn = 0;
    }
    QElapsedTimer spent;
    spent.start();
    // The settings as they are now, read once for every event of this go.
    const Settings s = settings.Read();
    bool wrote = false;
    while (!pending.empty()) {
        if (!all && (spentThisTurn + spent.nsecsElapsed() > TurnBudgetNs || Yielding())) {
            resumeTimer.start();
            break;
        }
        const Event event = std::move(pending.front());
        pending.pop_front();
        Write(event, s);
        wrote = true;
    }
    if (pending.empty()) {
        resumeTimer.stop();
        yieldingFor.invalidate();
    }
    // The go's lines reach the file together, and the node viewer reads
    // them once.
    if (wrote) {
        if (!wantedPath.isEmpty())
            WriteQueuedLines();
        if (refresh)
            refresh();
    }
    spentThisTurn += spent.nsecsElapsed();
    writing = false;
}

bool EventLog::Yielding()
{
    if (!repliesWaiting || !repliesWaiting()) {
        yieldingFor.invalidate();
        return false;
    }
    if (!yieldingFor.isValid())
        yieldingFor.start();
    return yieldingFor.elapsed() < YieldLimitMs;
}

void EventLog::Write(const Event &event, const Settings &s)
{
    windows.BoundPane(PaneLineLimit);
    const Second &second = SecondOf(event.whenMSecs);
    const EventLine line = BuildEventLine(event.event, s, second.text);
    if (line.beeps && s.beep)
        windows.Beep();
    windows.AppendPaneLine(line.text);
    if (!wantedPath.isEmpty()) {
        unwritten.push_back({EventFileText(line.text, s.Delimiter()), event.whenMSecs});
        if (qsizetype(unwritten.size()) >= ChunkLines)
            WriteQueuedLines();
    }
    if (line.syslog.severity != 0) {
        SyslogEvent forwarded = line.syslog;
        // At the second's offset from UTC: the same local time, without a
        // look at the time zone.
        forwarded.when =
            QDateTime::fromMSecsSinceEpoch(event.whenMSecs, Qt::OffsetFromUTC, second.offset);
        syslog.SendSyslog(forwarded);
    }
}

const EventLog::Second &EventLog::SecondOf(qint64 whenMSecs)
{
    // A burst of events shares a handful of seconds; the local time of each
    // costs a look at the time zone.
    const qint64 number = whenMSecs >= 0 ? whenMSecs / 1000 : (whenMSecs - 999) / 1000;
    if (number != lastSecond.number || lastSecond.text.isEmpty()) {
        const QDateTime when = clock.FromMSecsSinceEpoch(number * 1000);
        lastSecond = {number, DateTimeText(when), when.offsetFromUtc()};
    }
    return lastSecond;
}

void EventLog::WriteToFile(const QByteArray &line, qint64 whenMSecs)
{
    unwritten.push_back({line, whenMSecs});
    WriteQueuedLines();
}

void EventLog::WriteQueuedLines()
{
    WriteUnwritten();
    // A disk full for long: the oldest lines give way, counted.
    while (qsizetype(unwritten.size()) > UnwrittenLineLimit) {
        if (droppedLines++ == 0)
            firstDroppedMSecs = unwritten.front().whenMSecs;
        lastDroppedMSecs = unwritten.front().whenMSecs;
        unwritten.pop_front();
    }
}

void EventLog::WriteUnwritten()
{
    // Rotation tools rename the log away and folders get removed: the lines
    // belong at the log path, not in a file nobody will read again.
    if (logFile.isOpen() && !StillAtPath()) {
        logFile.close();
        OpenForAppend(wantedPath);
        if (logFile.isOpen() && rotated)
            rotated();
    } else if (!logFile.isOpen()) {
        OpenForAppend(wantedPath);
    }
    if (!logFile.isOpen()) {
        ReportFailure(u"Cannot open log file."_s, logFile.errorString());
        retryTimer.start();
        return;
    }
    if (droppedLines > 0) {
        const QString gap = u"#Unwritten_Lines\t%1\t%2\t%3"_s.arg(droppedLines)
                                .arg(DateTimeText(clock.FromMSecsSinceEpoch(firstDroppedMSecs)),
                                     DateTimeText(clock.FromMSecsSinceEpoch(lastDroppedMSecs)));
        if (!AppendWhole(EventFileText(gap, settings.Read().Delimiter())))
            return;
        droppedLines = 0;
    }
    while (!unwritten.empty()) {
        // One write for many lines; they go in whole or wait whole. After a
        // failure one line tells whether the file takes lines again.
        const qsizetype limit = retryTimer.isActive() ? 0 : ChunkBytes;
        QByteArray chunk = unwritten.front().text;
        auto end = unwritten.begin() + 1;
        for (; end != unwritten.end() && chunk.size() < limit; ++end)
            chunk += end->text;
        if (!AppendWhole(chunk))
            return;
        unwritten.erase(unwritten.begin(), end);
        retryTimer.stop();
    }
    retryTimer.stop();
    failureReported = false;
}

bool EventLog::AppendWhole(const QByteArray &line)
{
    const QByteArray text = lineCut ? "\r\n" + line : line;
    const off_t before = ::lseek(logFile.handle(), 0, SEEK_END);
    // Appends of a whole line at once, so another writer of the file never
    // lands inside it; only a full disk cuts a line short.
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t written =
            ::write(logFile.handle(), text.constData() + done, size_t(text.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        done += written;
    }
    if (done == text.size()) {
        lineCut = false;
        return true;
    }
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    // The part that went in is taken back: the line waits whole for room.
    if (done > 0 && (before < 0 || ::ftruncate(logFile.handle(), before) != 0))
        lineCut = true;
    ReportFailure(u"Cannot write log file."_s, reason);
    retryTimer.start();
    return false;
}

bool EventLog::StillAtPath() const
{
    struct stat atPath;
    struct stat open;
    return ::stat(QFile::encodeName(wantedPath).constData(), &atPath) == 0 &&
           ::fstat(logFile.handle(), &open) == 0 && atPath.st_dev == open.st_dev &&
           atPath.st_ino == open.st_ino;
}

void EventLog::ReportFailure(const QString &what, const QString &reason)
{
    if (std::exchange(failureReported, true))
        return;
    windows.ShowAlertMessage(what + u"\r\n"_s + wantedPath + u"\r\n"_s + reason);
}

void EventLog::OpenEventLog()
{
    WritePendingEvents();
    const bool dayChange = dayChanged;
    if (dayChange)
        CloseEventLog();
    if (logFile.isOpen())
        return;

    const QString path = settings.Read().logPath;
    wantedPath = path;
    failureReported = false;
    const QFileInfo info(path);
    const QDate today = clock.Now().date();
    const QDateTime midnight(today, QTime(0, 0));
    if (!info.exists()) {
        OpenForAppend(path);
        // A new file holds nothing of an earlier day: left set, the flag
        // would file today's lines under yesterday's name at the next start.
        if (logFile.isOpen())
            dayChanged = false;
    } else if (info.isFile() && !dayChange && info.lastModified() >= midnight)
        OpenForAppend(path);
    else if (info.isFile())
        Rotate(path, info, today);
    else
        // Anything else at the log path, a folder for one, is never renamed;
        // opening it only tells why it cannot be the log.
        OpenForAppend(path);

    if (!logFile.isOpen())
        ReportFailure(u"Cannot open log file."_s, logFile.errorString());
}

void EventLog::WriteErrorNote(const QString &text)
{
    WritePendingEvents();
    if (wantedPath.isEmpty())
        return;
    QString oneLine = text;
    for (QChar &c : oneLine) {
        if (c == u'\r' || c == u'\n' || c == u'\t')
            c = u' ';
    }
    const QString line = u"#Error\t"_s + oneLine + u'\t' + DateTimeText(clock.Now());
    WriteToFile(EventFileText(line, settings.Read().Delimiter()), clock.NowMSecsSinceEpoch());
}

void EventLog::CloseEventLog()
{
    WritePendingEvents();
    if (!unwritten.empty() && !wantedPath.isEmpty())
        WriteUnwritten();
    // What still could not be written is counted, and the gap line goes
    // first into the log when it is opened again.
    for (const Unwritten &line : unwritten) {
        if (droppedLines++ == 0)
            firstDroppedMSecs = line.whenMSecs;
        lastDroppedMSecs = line.whenMSecs;
    }
    unwritten.clear();
    retryTimer.stop();
    logFile.close();
    wantedPath.clear();
    lineCut = false;
}

void EventLog::FlushEventLog()
{
    // Lines are written unbuffered, so this only matters if that changes.
    logFile.flush();
}

void EventLog::OpenForAppend(const QString &path)
{
    // POSIX has no share modes: readers such as the node viewer can always
    // open the file, and other writers are not locked out.
    logFile.setFileName(path);
    logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
}

void EventLog::Rotate(const QString &path, const QFileInfo &info, QDate today)
{
    // The backup is named after the last day the file was written. A scan
    // that ran past midnight may have written it today: its lines are then
    // mostly yesterday's, and today's name stays free for today's file.
    const QDate lastWritten = info.lastModified().date();
    const QDate yesterday = today.addDays(-1);
    const QDate day = lastWritten.isValid() && lastWritten < yesterday ? lastWritten : yesterday;
    const QString backup =
        info.dir().filePath(u"keelwatch"_s + day.toString(u"yyyyMMdd"_s) + u".log"_s);
    // QFile::rename never replaces an existing backup.
    if (!QFile::rename(path, backup)) {
        windows.ShowAlertMessage(
            u"Back up ERROR!!!\r\nCannot rename log file\r\nCurrent file will be used as is"_s);
        OpenForAppend(path);
        return;
    }
    OpenForAppend(path);
    if (rotated)
        rotated();
    dayChanged = false;
}

} // namespace keelwatch
