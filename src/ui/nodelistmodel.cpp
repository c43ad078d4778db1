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
        return int(nodes.Verdict(node.ip));
    case Qt::ToolTipRole: {
        const auto answers = nodes.ConfirmationAnswers(node.ip);
        if (!answers)
            return QVariant();
        return u"answered %1 of %2 confirmation probes"_s.arg(*answers).arg(ConfirmationProbeCount);
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

QString NodeColumnToolTip(int column)
{
    if (column >= FirstResultColumn && column <= LastResultColumn) {
        const TestAddress &test = TestAddresses[size_t(column - FirstResultColumn)];
        const QString destination = *test.destination
                                        ? QString::fromUtf16(test.destination).replace(u' ', u':')
                                        : u"the address set in Setup"_s;
        const QString label = QString::fromUtf16(test.label);
        return test.correct ? u"%1: ARP request to %2. Every card answers it (O or o)."_s.arg(
                                  label, destination)
                            : u"%1: ARP request to %2. A card in normal mode drops it; an answer "
                              u"(X or x) points to promiscuous mode."_s.arg(label, destination);
    }
    switch (column) {
    case NodeColumn::Ip:
        return u"The node's IPv4 address"_s;
    case NodeColumn::Mac:
        return u"The node's card address, from its ARP reply"_s;
    case NodeColumn::Comment:
        return u"Your comment on this address (Comment Editor)"_s;
    case NodeColumn::Vendor:
        return u"The card's maker, from the first three bytes of its MAC address"_s;
    default:
        return QString();
    }
}

QVariant NodeListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::DisplayRole)
        return NodeColumnTitle(section);
    if (role == Qt::ToolTipRole)
        return NodeColumnToolTip(section);
    return QVariant();
}

} // namespace keelwatch
