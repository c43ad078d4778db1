#include "core/scanevents.h"

namespace keelwatch {

void ForwardScanEvents(const ScanEvents &events, const QObject *context,
                       const std::function<void(const ScanEvent &)> &handler)
{
    using Kind = ScanEventKind;
    const auto scanWide = [&](auto signal, Kind kind) {
        QObject::connect(&events, signal, context,
                         [handler, kind](int count) { handler({.kind = kind, .count = count}); });
    };
    const auto nodeEvent = [&](auto signal, Kind kind) {
        QObject::connect(&events, signal, context, [handler, kind](const Node &node, int column) {
            handler({.kind = kind, .node = node, .column = column});
        });
    };
    QObject::connect(&events, &ScanEvents::scanStarted, context,
                     [handler] { handler({.kind = Kind::ScanStarted}); });
    scanWide(&ScanEvents::cycleEnded, Kind::CycleEnded);
    scanWide(&ScanEvents::framesDropped, Kind::FramesDropped);
    scanWide(&ScanEvents::repliesRejected, Kind::RepliesRejected);
    nodeEvent(&ScanEvents::macChanged, Kind::MacChanged);
    QObject::connect(
        &events, &ScanEvents::testAnswered, context,
        [handler](const Node &node, int column, Mark mark) {
            handler({.kind = Kind::TestAnswered, .node = node, .column = column, .mark = mark});
        });
    nodeEvent(&ScanEvents::responseLost, Kind::ResponseLost);
    nodeEvent(&ScanEvents::suspectFound, Kind::SuspectFound);
    nodeEvent(&ScanEvents::promiscuousStarted, Kind::PromiscuousStarted);
    nodeEvent(&ScanEvents::promiscuousStopped, Kind::PromiscuousStopped);
    QObject::connect(&events, &ScanEvents::verdictReached, context,
                     [handler](const Node &node, ConfirmationVerdict verdict, int answered) {
                         handler({.kind = Kind::VerdictReached,
                                  .node = node,
                                  .count = answered,
                                  .verdict = verdict});
                     });
}

} // namespace keelwatch
