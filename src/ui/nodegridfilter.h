#pragma once

#include "core/nodetable.h"

#include <QSortFilterProxyModel>

namespace keelwatch {

// What the grid shows of the node table: sorted by any column, narrowed by a
// text found in the IP, MAC, vendor or comment, or to the suspects. The
// table, its files and its events never see the order or the filter.
//
// Table rows (1 for the first node) and grid rows map both ways here, so
// every menu acts on the node the user picked. The trailing empty row stays
// last and shows only while nothing is filtered.
class NodeGridFilter : public QSortFilterProxyModel
{
    Q_OBJECT

  public:
    explicit NodeGridFilter(NodeTable &nodes, QObject *parent = nullptr);

    // Case-insensitive; empty shows every node.
    void SetFilterText(const QString &text);
    void SetSuspectsOnly(bool on);
    bool Filtering() const { return !filterText.isEmpty() || suspectsOnly; }

    // The table row of a grid row, 0 for none.
    int TableRow(const QModelIndex &gridIndex) const;
    // The grid index of a table row's first column; invalid when filtered out.
    QModelIndex GridIndex(int tableRow) const;

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

  private:
    bool Trailing(int sourceRow) const { return sourceRow == nodes.rowCount() - 1; }

    NodeTable &nodes;
    QString filterText;
    bool suspectsOnly = false;
};

} // namespace keelwatch
