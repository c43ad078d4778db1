#include "core/classifyreply.h"

namespace keelwatch {

Mark ReplyMark(int k, const ReplyOptions &options)
{
    const Answer answer = AnswerOfTest(k);
    if (options.scanStep == ScanStep::FindingNodes || answer == Answer::None)
        return Mark();
    return Mark::Answered(answer, options.format);
}

int ClassifyReply(const ReplyTargets &targets, const ReplyOptions &options,
                  const DecodedReply &reply)
{
    NodeList &nodes = targets.nodes;
    const int k = reply.sourceIndex;
    // Replies to source addresses 0, 1 and 12 to 15 have no result column,
    // so they only add or update the node.
    const Mark mark = ReplyMark(k, options);
    const auto comment = [&] {
        return targets.lookupComment ? targets.lookupComment(reply.ip) : QString();
    };
    const auto select = [&](int index) {
        if (options.autoScroll && targets.selectNode)
            targets.selectNode(index);
    };

    if (const auto found = nodes.Find(reply.ip)) {
        const int index = *found;
        nodes.NoteHeard(index, options.when);
        nodes.SetComment(index, comment());
        if (nodes.At(index).mac != reply.mac) {
            nodes.SetMac(index, reply.mac, reply.vendor);
            Q_EMIT targets.events.macChanged(nodes.At(index), k);
        }
        if (mark.Answered() && !nodes.At(index).MarkOf(k).Answered()) {
            // A carried "+" (or a "-") keeps its place in front of the letter.
            const Mark before = nodes.At(index).MarkOf(k);
            Mark merged = before;
            merged.answer = mark.answer;
            merged.ieee = mark.ieee;
            nodes.SetMark(index, k, merged);
            if (options.cyclic && !before.carried && !before.off)
                Q_EMIT targets.events.testAnswered(nodes.At(index), k, mark);
        }
        select(index);
        return index;
    }

    const int index = nodes.Add(reply.ip, reply.mac, options.tests);
    nodes.NoteHeard(index, options.when);
    // The mark replaces the "-" of a switched-off test; an empty mark (the
    // node-finding step) leaves it empty.
    if (TestOfColumn(k))
        nodes.SetMark(index, k, mark);
    nodes.SetVendor(index, reply.vendor);
    nodes.SetComment(index, comment());
    select(index);
    if (options.cyclic && mark.Answered())
        Q_EMIT targets.events.testAnswered(nodes.At(index), k, mark);
    return index;
}

} // namespace keelwatch
