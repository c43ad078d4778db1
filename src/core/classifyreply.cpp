#include "core/classifyreply.h"

using namespace Qt::StringLiterals;

namespace keelwatch {

QString ReplyMark(int k, const ReplyOptions &options)
{
    const TestAddress *test = TestOfColumn(k);
    if (options.scanStep == 2 || !test)
        return QString();
    const bool correct = test->correct;
    const bool ieee = options.format == FrameFormat::Ieee8023;
    if (correct)
        return ieee ? u"o"_s : u"O"_s;
    return ieee ? u"x"_s : u"X"_s;
}

void ClassifyReply(const ReplyTargets &targets, const ReplyOptions &options,
                   const DecodedReply &reply)
{
    NodeTable &table = targets.table;
    const int k = reply.sourceIndex;
    const QString ip = reply.ip.ToText();
    const QString mac = reply.mac.ToText();
    // Replies to source addresses 0, 1 and 12 to 15 have no result column,
    // so they only add or update the node.
    const QString mark = ReplyMark(k, options);
    const auto comment = [&] {
        return targets.lookupComment ? targets.lookupComment(ip) : QString();
    };
    const auto select = [&](int row) {
        if (options.autoScroll && targets.selectRow)
            targets.selectRow(row);
    };

    int row = table.FindNodeRow(ip);
    if (row != 0) {
        table.SetCell(row, NodeTable::CommentColumn, comment());
        if (table.Cell(row, NodeTable::MacColumn) != mac) {
            table.SetCell(row, NodeTable::MacColumn, mac);
            table.SetCell(row, NodeTable::VendorColumn, reply.vendor);
            targets.events.WriteEvent(u"mac"_s, k, row);
        }
        if (!mark.isEmpty() && !table.Cell(row, k).contains(mark)) {
            const QString cell = table.MergeMark(row, k, mark);
            if (options.cyclic && cell == mark)
                targets.events.WriteEvent(mark, k, row);
        }
        select(row);
        return;
    }

    row = table.AddNodeRow(ip, mac, options.tests);
    // The mark replaces the "-" of a switched-off test; an empty mark (the
    // node-finding step) leaves the cell empty.
    if (TestOfColumn(k))
        table.SetCell(row, k, mark);
    table.SetCell(row, NodeTable::VendorColumn, reply.vendor);
    table.SetCell(row, NodeTable::CommentColumn, comment());
    select(row);
    if (options.cyclic && !mark.isEmpty())
        targets.events.WriteEvent(mark, k, row);
}

} // namespace keelwatch
