#pragma once

#include "core/scanevents.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace keelwatch {

// A short word for an event, as tests compare them: "start", "cycle",
// "dropped", "rejected", "mac", the answer's letter ("X", "o", ...), "+"
// for a lost answer, "SUSPECT", "UP", "DOWN", "CONFIRMED",
// "FILTER-MATCH".
inline QString EventWord(const ScanEvent &event)
{
    using namespace Qt::StringLiterals;
    switch (event.kind) {
    case ScanEventKind::ScanStarted:
        return u"start"_s;
    case ScanEventKind::CycleEnded:
        return u"cycle"_s;
    case ScanEventKind::FramesDropped:
        return u"dropped"_s;
    case ScanEventKind::RepliesRejected:
        return u"rejected"_s;
    case ScanEventKind::MacChanged:
        return u"mac"_s;
    case ScanEventKind::TestAnswered:
        return event.mark.Letter();
    case ScanEventKind::ResponseLost:
        return u"+"_s;
    case ScanEventKind::SuspectFound:
        return u"SUSPECT"_s;
    case ScanEventKind::PromiscuousStarted:
        return u"UP"_s;
    case ScanEventKind::PromiscuousStopped:
        return u"DOWN"_s;
    case ScanEventKind::VerdictReached:
        return event.verdict == ConfirmationVerdict::Confirmed ? u"CONFIRMED"_s : u"FILTER-MATCH"_s;
    }
    return QString();
}

// "word number ip": the number is the test's column for node events and the
// count for the others (cycles, frames, confirmation answers); scan-wide
// events have no ip.
inline QString EventText(const ScanEvent &event)
{
    using namespace Qt::StringLiterals;
    const bool counted =
        event.kind == ScanEventKind::CycleEnded || event.kind == ScanEventKind::FramesDropped ||
        event.kind == ScanEventKind::RepliesRejected || event.kind == ScanEventKind::VerdictReached;
    QString text = EventWord(event) + u' ' + QString::number(counted ? event.count : event.column);
    if (event.kind != ScanEventKind::ScanStarted && event.kind != ScanEventKind::CycleEnded &&
        event.kind != ScanEventKind::FramesDropped && event.kind != ScanEventKind::RepliesRejected)
        text += u' ' + event.node.ip.ToText();
    return text;
}

// Every event a scan raises, in order, as values and as EventText lines.
class EventRecorder : public QObject
{
  public:
    explicit EventRecorder(const ScanEvents &source)
    {
        ForwardScanEvents(source, this, [this](const ScanEvent &event) {
            events.append(event);
            lines.append(EventText(event));
        });
    }

    void Clear()
    {
        events.clear();
        lines.clear();
    }

    QList<ScanEvent> events;
    QStringList lines;
};

} // namespace keelwatch
