#pragma once

#include "core/nodecolumns.h"
#include "core/nodelist.h"

#include <QAbstractTableModel>

namespace keelwatch {

// The node list as the grid shows it: one row per node, in the list's order,
// the columns of NodeColumn. Nodes added in a batch arrive as one insertion.
class NodeListModel : public QAbstractTableModel
{
    Q_OBJECT

  public:
    // Every cell of a probed node's row: its ConfirmationVerdict as an int.
    // The tooltip role says how many confirmation probes it answered.
    static constexpr int VerdictRole = Qt::UserRole + 1;

    explicit NodeListModel(const NodeList &nodes, QObject *parent = nullptr);

    const NodeList &Nodes() const { return nodes; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    const NodeList &nodes;
    // The rows the views know of: nodes are announced after they are added.
    int shownRows = 0;
};

// What a column title means, for its tooltip.
QString NodeColumnToolTip(int column);

} // namespace keelwatch
