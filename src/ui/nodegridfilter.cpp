#include "ui/nodegridfilter.h"

#include "config/addresstext.h"

namespace keelwatch {

NodeGridFilter::NodeGridFilter(NodeListModel &m, QObject *parent)
    : QSortFilterProxyModel(parent), model(m)
{
    setSourceModel(&model);
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

int NodeGridFilter::NodeIndex(const QModelIndex &gridIndex) const
{
    const QModelIndex source = mapToSource(gridIndex);
    return source.isValid() ? source.row() : -1;
}

QModelIndex NodeGridFilter::GridIndex(int nodeIndex) const
{
    if (nodeIndex < 0)
        return {};
    return mapFromSource(model.index(nodeIndex, 0));
}

bool NodeGridFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (!Filtering())
        return true;
    const Node &node = model.Nodes().At(sourceRow);
    if (suspectsOnly && !node.IsSuspect())
        return false;
    if (filterText.isEmpty())
        return true;
    for (int column : {NodeColumn::Ip, NodeColumn::Mac, NodeColumn::Comment, NodeColumn::Vendor}) {
        if (NodeCellText(node, column).contains(filterText, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool NodeGridFilter::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    if (left.column() == NodeColumn::Ip) {
        const IpAddress &x = model.Nodes().At(left.row()).ip;
        const IpAddress &y = model.Nodes().At(right.row()).ip;
        if (x != y)
            return x < y;
        return left.row() < right.row();
    }
    const QString a = left.data().toString();
    const QString b = right.data().toString();
    const int order = a.compare(b, Qt::CaseInsensitive);
    // Equal cells keep the order the nodes were found in.
    return order != 0 ? order < 0 : left.row() < right.row();
}

} // namespace keelwatch
