#pragma once

#include "core/nodelist.h"
#include "core/scanevents.h"
#include "scan/scaninputs.h"

#include <QString>

#include <functional>

namespace keelwatch {

// Where ClassifyReply records a reply. Runs on the main thread.
struct ReplyTargets
{
    NodeList &nodes;
    ScanEvents &events;
    // The stored comment of an IP, or empty text.
    std::function<QString(const IpAddress &ip)> lookupComment;
    // The node to show in the grid ("Auto Scroll").
    std::function<void(int index)> selectNode;
};

// The settings ClassifyReply reads at the moment of each reply.
struct ReplyOptions
{
    FrameFormat format = FrameFormat::Ethernet2;
    bool cyclic = false;
    bool autoScroll = false;
    ScanStep scanStep = ScanStep::Scanning;
    NodeList::Tests tests{};
    // When the replies came in, in ms since the epoch: the nodes' seen times.
    qint64 when = 0;
};

// The mark a reply to source index k records: Normal for a test a card in
// normal mode answers (Br, M1), Illegal for the other result columns, in the
// scan's frame format; an empty mark during List Mode's node-finding step or
// for an index without a result column.
Mark ReplyMark(int sourceIndex, const ReplyOptions &options);

// Records one reply in the node list: adds the node or updates its MAC,
// vendor and comment, notes it heard in this cycle, merges the mark, and raises the MAC change and
// the new answer, in that order. Returns the node's index.
int ClassifyReply(const ReplyTargets &targets, const ReplyOptions &options,
                  const DecodedReply &reply);

} // namespace keelwatch
