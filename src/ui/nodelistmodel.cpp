#include "ui/nodelistmodel.h"

using namespace Qt::StringLiterals;

namespace keelwatch {

NodeListModel::NodeListModel(const NodeList &n, QObject *parent)
    : QAbstractTableModel(parent), nodes(n), shownRows(n.Count())
{
    connect(&nodes, &NodeList::nodesAdded, this, [this](int first, int last) {
        beginInsertRows(QModelIndex(), first, last);
        shownRows = last + 1;
        endInsertRows();
    });
    connect(&nodes, &NodeList::nodesChanged, this, [this](int first, int last) {
        last = std::min(last, shownRows - 1);
        if (first <= last)
            Q_EMIT dataChanged(index(first, 0), index(last, NodeColumn::Count - 1));
    });
    connect(&nodes, &NodeList::marksChanged, this, [this] {
        if (shownRows > 0)
            Q_EMIT dataChanged(index(0, FirstResultColumn), index(shownRows - 1, LastResultColumn));
    });
    connect(&nodes, &NodeList::aboutToReplace, this, [this] { beginResetModel(); });
    connect(&nodes, &NodeList::replaced, this, [this] {
        shownRows = nodes.Count();
        endResetModel();
    });
}

int NodeListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : shownRows;
}

int NodeListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : NodeColumn::Count;
}

QVariant NodeListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= shownRows)
        return QVariant();
    const Node &node = nodes.At(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return NodeCellText(node, index.column());
    case VerdictRole:
        return int(nodes.ReportedVerdict(node.ip));
    case Qt::ToolTipRole: {
        const auto answers = nodes.ConfirmationAnswers(node.ip);
        if (!answers)
            return QVariant();
        return tr("answered %1 of %2 confirmation probes")
            .arg(*answers)
            .arg(ConfirmationProbeCount);
    }
    case Qt::TextAlignmentRole:
        if (index.column() >= FirstResultColumn && index.column() <= LastResultColumn)
            return int(Qt::AlignCenter);
        break;
    default:
        break;
    }
    return QVariant();
}

namespace {

// The titles of the address, comment and vendor columns in the user's
// language; the test columns keep their short names, which the help and
// the tooltips use.
QString ShownColumnTitle(int column)
{
    switch (column) {
    case NodeColumn::Ip:
        return NodeListModel::tr("IP Address");
    case NodeColumn::Mac:
        return NodeListModel::tr("MAC Address");
    case NodeColumn::Comment:
        return NodeListModel::tr("Comment");
    case NodeColumn::Vendor:
        return NodeListModel::tr("Vender Code");
    default:
        return NodeColumnTitle(column);
    }
}

} // namespace

QString NodeColumnToolTip(int column)
{
    if (column >= FirstResultColumn && column <= LastResultColumn) {
        const TestAddress &test = TestAddresses[size_t(column - FirstResultColumn)];
        const QString destination = *test.destination
                                        ? QString::fromUtf16(test.destination).replace(u' ', u':')
                                        : NodeListModel::tr("the address set in Setup");
        const QString label = QString::fromUtf16(test.label);
        return test.correct
                   ? NodeListModel::tr("%1: ARP request to %2. Every card answers it (O or o).")
                         .arg(label, destination)
                   : NodeListModel::tr("%1: ARP request to %2. A card in normal mode drops it; an "
                                       "answer (X or x) points to promiscuous mode.")
                         .arg(label, destination);
    }
    switch (column) {
    case NodeColumn::Ip:
        return NodeListModel::tr("The node's IPv4 address");
    case NodeColumn::Mac:
        return NodeListModel::tr("The node's card address, from its ARP reply");
    case NodeColumn::Comment:
        return NodeListModel::tr("Your comment on this address (Comment Editor)");
    case NodeColumn::Vendor:
        return NodeListModel::tr("The card's maker, from the first three bytes of its MAC address");
    default:
        return QString();
    }
}

QVariant NodeListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::DisplayRole)
        return ShownColumnTitle(section);
    if (role == Qt::ToolTipRole)
        return NodeColumnToolTip(section);
    return QVariant();
}

} // namespace keelwatch
