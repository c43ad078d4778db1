#include "ui/nodegridfilter.h"

#include "config/addresstext.h"

namespace keelwatch {

NodeGridFilter::NodeGridFilter(NodeTable &nodes, QObject *parent)
    : QSortFilterProxyModel(parent), nodes(nodes)
{
    setSourceModel(&nodes);
    // Rows found while sorted or filtered land in their place at once.
    setDynamicSortFilter(true);
}

void NodeGridFilter::SetFilterText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == filterText)
        return;
    filterText = trimmed;
    invalidateRowsFilter();
}

void NodeGridFilter::SetSuspectsOnly(bool on)
{
    if (on == suspectsOnly)
        return;
    suspectsOnly = on;
    invalidateRowsFilter();
}

int NodeGridFilter::TableRow(const QModelIndex &gridIndex) const
{
    const QModelIndex source = mapToSource(gridIndex);
    return source.isValid() ? source.row() + 1 : 0;
}

QModelIndex NodeGridFilter::GridIndex(int tableRow) const
{
    if (tableRow < 1)
        return {};
    return mapFromSource(nodes.index(tableRow - 1, 0));
}

bool NodeGridFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (Trailing(sourceRow))
        return !Filtering();
    if (!Filtering())
        return true;
    const NodeTable::Row row = nodes.RowCells(sourceRow + 1);
    if (suspectsOnly && !IsSuspectRow(row))
        return false;
    if (filterText.isEmpty())
        return true;
    for (int column : {NodeTable::IpColumn, NodeTable::MacColumn, NodeTable::CommentColumn,
                       NodeTable::VendorColumn}) {
        if (row[size_t(column)].contains(filterText, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool NodeGridFilter::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    // The trailing row sorts last whichever way round.
    const bool descending = sortOrder() == Qt::DescendingOrder;
    if (Trailing(left.row()))
        return descending;
    if (Trailing(right.row()))
        return !descending;
    const QString a = left.data().toString();
    const QString b = right.data().toString();
    if (left.column() == NodeTable::IpColumn) {
        const qint64 x = IpTextToNumber(a);
        const qint64 y = IpTextToNumber(b);
        if (x != y)
            return x < y;
    }
    const int order = a.compare(b, Qt::CaseInsensitive);
    // Equal cells keep the order the nodes were found in.
    return order != 0 ? order < 0 : left.row() < right.row();
}

} // namespace keelwatch
