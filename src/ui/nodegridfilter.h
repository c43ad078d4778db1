#pragma once

#include "ui/nodelistmodel.h"

#include <QSortFilterProxyModel>

namespace keelwatch {

// What the grid shows of the node list: sorted by any column, narrowed by a
// text found in the IP, MAC, vendor or comment, or to the suspects. The
// list, its files and its events never see the order or the filter.
//
// Node indices and grid rows map both ways here, so every menu acts on the
// node the user picked.
class NodeGridFilter : public QSortFilterProxyModel
{
    Q_OBJECT

  public:
    explicit NodeGridFilter(NodeListModel &model, QObject *parent = nullptr);

    // Case-insensitive; empty shows every node.
    void SetFilterText(const QString &text);
    void SetSuspectsOnly(bool on);
    bool Filtering() const { return !filterText.isEmpty() || suspectsOnly; }

    // The node index of a grid row, -1 for none.
    int NodeIndex(const QModelIndex &gridIndex) const;
    // The grid index of a node's first column; invalid when filtered out.
    QModelIndex GridIndex(int nodeIndex) const;

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

  private:
    NodeListModel &model;
    QString filterText;
    bool suspectsOnly = false;
};

} // namespace keelwatch
