#include "report/eventlog.h"

#include "config/datetimetext.h"
#include "report/eventline.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace keelwatch {

EventLog::EventLog(const LiveSettings &settings, const NodeTable &nodes, const Clock &clock,
                   EventWindows &windows, SyslogSink &syslog)
    : settings(settings), nodes(nodes), clock(clock), windows(windows), syslog(syslog)
{
}

void EventLog::WriteEvent(const QString &kind, int number, int row)
{
    if (kind.isEmpty())
        return;
    pending.push_back(Event{kind, number, clock.Now(), nodes.Cell(row, NodeTable::IpColumn),
                            nodes.Cell(row, NodeTable::MacColumn)});
    // A window that blocks in the syslog step (a message box run with its own
    // event loop) lets timers and queued replies raise further events. Those
    // wait here until the current event is complete, so events never overlap.
    if (writing)
        return;
    writing = true;
    while (!pending.empty()) {
        const Event event = pending.front();
        pending.pop_front();
        Write(event);
    }
    writing = false;
}

void EventLog::Write(const Event &event)
{
    windows.BoundPane(PaneLineLimit);
    const Settings s = settings.Read();
    const EventLine line = BuildEventLine(event.kind, event.number, {event.ip, event.mac}, s,
                                          DateTimeText(event.when));
    if (line.beeps && s.beep)
        windows.Beep();
    windows.AppendPaneLine(line.text);
    // One write per line; a failed write is not reported.
    if (logFile.isOpen())
        logFile.write(EventFileText(line.text, s.Delimiter()));
    if (line.severity != 0)
        syslog.SendSyslog(event.when, line.severity, line.syslogText);
    if (refresh)
        refresh();
}

void EventLog::OpenEventLog()
{
    const bool dayChange = dayChanged && *dayChanged;
    if (dayChange)
        CloseEventLog();
    if (logFile.isOpen())
        return;

    const QString path = settings.Read().logPath;
    const QFileInfo info(path);
    const QDate today = clock.Now().date();
    const QDateTime midnight(today, QTime(0, 0));
    if (!info.exists()) {
        OpenForAppend(path);
        // A new file holds nothing of an earlier day: left set, the flag
        // would file today's lines under yesterday's name at the next start.
        if (logFile.isOpen() && dayChanged)
            *dayChanged = false;
    } else if (info.isFile() && !dayChange && info.lastModified() >= midnight)
        OpenForAppend(path);
    else if (info.isFile())
        Rotate(path, today);
    // Anything else at the log path, a folder for one, is never renamed.

    if (!logFile.isOpen())
        windows.ShowAlertMessage(u"Cannot open log file."_s);
}

void EventLog::CloseEventLog()
{
    logFile.close();
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

void EventLog::Rotate(const QString &path, QDate today)
{
    const QString stamp = today.addDays(-1).toString(u"yyyyMMdd"_s);
    const QString backup = QFileInfo(path).dir().filePath(u"keelwatch"_s + stamp + u".log"_s);
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
    if (dayChanged)
        *dayChanged = false;
}

} // namespace keelwatch
