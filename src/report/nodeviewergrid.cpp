#include "report/nodeviewergrid.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// Column titles are shown only in the viewer's window, in its language.
NodeViewerGrid::Row Titles()
{
    NodeViewerGrid::Row titles;
    titles[NodeViewerGrid::StatusColumn] = QCoreApplication::translate("NodeViewerGrid", "STATUS");
    titles[NodeViewerGrid::TimeColumn] = QCoreApplication::translate("NodeViewerGrid", "TIME");
    for (const TestAddress &test : TestAddresses)
        titles[size_t(test.column)] = QString::fromUtf16(test.shortName);
    titles[NodeViewerGrid::ColumnCount - 1] =
        QCoreApplication::translate("NodeViewerGrid", "Comment");
    return titles;
}

} // namespace

NodeViewerGrid::NodeViewerGrid(QObject *parent) : QAbstractTableModel(parent)
{
    rows = {Titles(), Row{}};
}

QString NodeViewerGrid::Cell(int row, int column) const
{
    if (row < 0 || row >= rows.size() || column < 0 || column >= ColumnCount)
        return QString();
    return rows[row][size_t(column)];
}

void NodeViewerGrid::SetCell(int row, int column, const QString &text)
{
    rows[row][size_t(column)] = text;
    if (row > 0) {
        const QModelIndex at = index(row - 1, column);
        Q_EMIT dataChanged(at, at);
    }
}

NodeViewerGrid::Marks NodeViewerGrid::RowMarks(int row) const
{
    Marks marks;
    for (int i = 0; i < TestCount; ++i)
        marks[size_t(i)] = rows[row][size_t(FirstResultColumn + i)];
    return marks;
}

void NodeViewerGrid::SetMarks(int row, const Marks &marks)
{
    for (int i = 0; i < TestCount; ++i)
        rows[row][size_t(FirstResultColumn + i)] = marks[size_t(i)];
    Q_EMIT dataChanged(index(row - 1, FirstResultColumn), index(row - 1, LastResultColumn));
}

void NodeViewerGrid::AppendRow()
{
    beginInsertRows(QModelIndex(), int(rows.size()) - 1, int(rows.size()) - 1);
    rows.append(Row{});
    endInsertRows();
}

void NodeViewerGrid::InsertAboveBottom(QList<Row> newRows)
{
    if (newRows.isEmpty())
        return;
    const int bottom = int(rows.size()) - 1;
    beginInsertRows(QModelIndex(), bottom - 1, bottom - 1 + int(newRows.size()) - 1);
    rows.insert(bottom, newRows.size(), Row{});
    std::move(newRows.begin(), newRows.end(), rows.begin() + bottom);
    endInsertRows();
}

void NodeViewerGrid::DropOldest(int count)
{
    beginRemoveRows(QModelIndex(), 0, count - 1);
    rows.remove(1, count);
    endRemoveRows();
}

void NodeViewerGrid::Reset()
{
    beginResetModel();
    rows = {Titles(), Row{}};
    endResetModel();
}

int NodeViewerGrid::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size()) - 1;
}

int NodeViewerGrid::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant NodeViewerGrid::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return QVariant();
    return Cell(index.row() + 1, index.column());
}

QVariant NodeViewerGrid::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    return Cell(0, section);
}

} // namespace keelwatch
