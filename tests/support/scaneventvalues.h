#pragma once

#include "core/scanevents.h"

namespace keelwatch {

// Events as the scan raises them, for tests of what listens to them.

// A scan-wide event: the start banner, or a cycle or drop count.
inline ScanEvent ScanWideEvent(ScanEventKind kind, int count = 0)
{
    ScanEvent event;
    event.kind = kind;
    event.count = count;
    return event;
}

inline ScanEvent NodeEvent(const Node &node, ScanEventKind kind, int column)
{
    ScanEvent event;
    event.kind = kind;
    event.node = node;
    event.column = column;
    return event;
}

inline ScanEvent AnswerEvent(const Node &node, Answer answer, FrameFormat format, int column)
{
    ScanEvent event = NodeEvent(node, ScanEventKind::TestAnswered, column);
    event.mark = Mark::Answered(answer, format);
    return event;
}

inline ScanEvent VerdictEvent(const Node &node, ConfirmationVerdict verdict, int answered)
{
    ScanEvent event = NodeEvent(node, ScanEventKind::VerdictReached, 0);
    event.verdict = verdict;
    event.count = answered;
    return event;
}

} // namespace keelwatch
