#pragma once

#include "core/eventsink.h"
#include "core/nodetable.h"
#include "scan/scaninputs.h"

#include <QString>

#include <functional>

namespace keelwatch {

// Where ClassifyReply records a reply. Runs on the main thread.
struct ReplyTargets
{
    NodeTable &table;
    EventSink &events;
    // The stored comment of an IP, or empty text.
    std::function<QString(const QString &ip)> lookupComment;
    // Selects a node row in the grid ("Auto Scroll").
    std::function<void(int row)> selectRow;
};

// The settings ClassifyReply reads at the moment of each reply.
struct ReplyOptions
{
    FrameFormat format = FrameFormat::Ethernet2;
    bool cyclic = false;
    bool autoScroll = false;
    int scanStep = 3;
    NodeTable::Tests tests{};
};

// The mark a reply to source index k records: "O" for a test a card in
// normal mode answers (Br, M1), "X" for the other result columns, lower case for IEEE 802.3, and
// nothing during List Mode's node-finding step or for an index without a result column.
QString ReplyMark(int sourceIndex, const ReplyOptions &options);

// Records one reply in the node table: adds the node or updates its MAC,
// vendor and comment, merges the mark, and raises "mac" and new-response
// events in that order.
void ClassifyReply(const ReplyTargets &targets, const ReplyOptions &options,
                   const DecodedReply &reply);

} // namespace keelwatch
