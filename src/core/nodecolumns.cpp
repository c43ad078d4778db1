#include "core/nodecolumns.h"

using namespace Qt::StringLiterals;

namespace keelwatch {

const NodeCells &NodeColumnTitles()
{
    static const NodeCells titles = [] {
        NodeCells texts;
        texts[NodeColumn::Ip] = u"IP Address"_s;
        texts[NodeColumn::Mac] = u"MAC Address"_s;
        for (const TestAddress &test : TestAddresses)
            texts[size_t(test.column)] = QString::fromUtf16(test.shortName);
        texts[NodeColumn::Comment] = u"Comment"_s;
        texts[NodeColumn::Vendor] = u"Vender Code"_s;
        return texts;
    }();
    return titles;
}

QString NodeColumnTitle(int column)
{
    if (column < 0 || column >= NodeColumn::Count)
        return QString();
    return NodeColumnTitles()[size_t(column)];
}

QString NodeCellText(const Node &node, int column)
{
    switch (column) {
    case NodeColumn::Ip:
        return node.ip.ToText();
    case NodeColumn::Mac:
        return node.mac.ToText();
    case NodeColumn::Comment:
        return node.comment;
    case NodeColumn::Vendor:
        return node.vendor;
    default:
        break;
    }
    if (column >= FirstResultColumn && column <= LastResultColumn)
        return node.MarkOf(column).Text();
    return QString();
}

NodeCells NodeCellTexts(const Node &node)
{
    NodeCells cells;
    for (int column = 0; column < NodeColumn::Count; ++column)
        cells[size_t(column)] = NodeCellText(node, column);
    return cells;
}

} // namespace keelwatch
