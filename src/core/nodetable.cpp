#include "core/nodetable.h"

#include <QMutexLocker>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

const std::array<QString, NodeTable::ColumnCount> Headers = [] {
    std::array<QString, NodeTable::ColumnCount> texts;
    texts[NodeTable::IpColumn] = u"IP Address"_s;
    texts[NodeTable::MacColumn] = u"MAC Address"_s;
    for (const TestAddress &test : TestAddresses)
        texts[size_t(test.column)] = QString::fromUtf16(test.shortName);
    texts[NodeTable::CommentColumn] = u"Comment"_s;
    texts[NodeTable::VendorColumn] = u"Vender Code"_s;
    return texts;
}();

// "-" in the result column of every switched-off test.
void MarkOff(NodeTable::Row &cells, const NodeTable::Tests &tests)
{
    for (int i = 0; i < TestCount; ++i) {
        if (!tests[size_t(i)])
            cells[size_t(FirstResultColumn + i)] = u"-"_s;
    }
}

} // namespace

NodeTable::NodeTable(QObject *parent) : QAbstractTableModel(parent)
{
    SetupNodeTable();
}

void NodeTable::SetupNodeTable()
{
    beginResetModel();
    {
        QMutexLocker lock(&mutex);
        rows = QList<Row>(2);
        rowsByIp.clear();
    }
    endResetModel();
    WriteColumnHeaders();
}

void NodeTable::WriteColumnHeaders()
{
    {
        QMutexLocker lock(&mutex);
        rows[0] = Headers;
    }
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

int NodeTable::RowCount() const
{
    QMutexLocker lock(&mutex);
    return int(rows.size());
}

QString NodeTable::Cell(int row, int column) const
{
    QMutexLocker lock(&mutex);
    if (row < 0 || row >= rows.size() || column < 0 || column >= ColumnCount)
        return QString();
    return rows[row][size_t(column)];
}

void NodeTable::SetCell(int row, int column, const QString &text)
{
    {
        QMutexLocker lock(&mutex);
        if (row < 0 || row >= rows.size() || column < 0 || column >= ColumnCount)
            return;
        const bool reindex = column == IpColumn && IsNodeRow(row);
        if (reindex)
            UnindexRow(row);
        rows[row][size_t(column)] = text;
        if (reindex)
            IndexRow(row);
    }
    if (row == 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
    else if (Shown(row))
        Q_EMIT dataChanged(index(row - 1, column), index(row - 1, column));
}

NodeTable::Row NodeTable::RowCells(int row) const
{
    QMutexLocker lock(&mutex);
    return row >= 0 && row < rows.size() ? rows[row] : Row{};
}

QList<int> NodeTable::RowsWithCell(int column, QStringView text) const
{
    QList<int> found;
    if (column < 0 || column >= ColumnCount)
        return found;
    QMutexLocker lock(&mutex);
    for (int row = 1; row < rows.size(); ++row) {
        // Sizes first: most cells of a big table are empty.
        const QString &cell = rows[row][size_t(column)];
        if (cell.size() == text.size() && cell == text)
            found.append(row);
    }
    return found;
}

int NodeTable::FindNodeRow(const QString &ip) const
{
    QMutexLocker lock(&mutex);
    const auto found = rowsByIp.constFind(ip);
    return found == rowsByIp.cend() ? 0 : found->last;
}

int NodeTable::CountNodeRows(const QString &ip) const
{
    QMutexLocker lock(&mutex);
    return rowsByIp.value(ip).count;
}

int NodeTable::AddNodeRow(const QString &ip, const QString &mac, const Tests &tests)
{
    Row cells;
    cells[IpColumn] = ip;
    cells[MacColumn] = mac;
    MarkOff(cells, tests);
    // Filling the trailing row and appending an empty one is, for the
    // views, a row inserted before the trailing row.
    const bool batching = shownRows >= 0;
    const int row = RowCount() - 1;
    if (!batching)
        beginInsertRows(QModelIndex(), row - 1, row - 1);
    {
        QMutexLocker lock(&mutex);
        rows.insert(row, cells);
        IndexRow(row);
    }
    if (batching)
        NotifyRowsChanged(row, row);
    else
        endInsertRows();
    return row;
}

QString NodeTable::MergeMark(int row, int column, const QString &letter)
{
    QString after;
    {
        QMutexLocker lock(&mutex);
        if (row < 0 || row >= rows.size() || column < 0 || column >= ColumnCount)
            return QString();
        QString &cell = rows[row][size_t(column)];
        if (!cell.contains(letter))
            cell += letter;
        after = cell;
    }
    if (Shown(row))
        Q_EMIT dataChanged(index(row - 1, column), index(row - 1, column));
    return after;
}

void NodeTable::MarkScanOff(int row, const Tests &tests)
{
    {
        QMutexLocker lock(&mutex);
        if (row < 1 || row >= rows.size())
            return;
        MarkOff(rows[row], tests);
    }
    NotifyRowsChanged(row, row);
}

void NodeTable::MarkScanOffAll(const Tests &tests)
{
    int last = 0;
    {
        QMutexLocker lock(&mutex);
        last = int(rows.size()) - 2;
        for (int row = 1; row <= last; ++row)
            MarkOff(rows[row], tests);
    }
    if (last >= 1)
        NotifyRowsChanged(1, last);
}

void NodeTable::ClearResults()
{
    ClearConfirmations();
    {
        QMutexLocker lock(&mutex);
        for (Row &cells : rows) {
            for (int c = FirstResultColumn; c <= LastResultColumn; ++c)
                cells[size_t(c)].clear();
        }
    }
    NotifyResultsChanged();
    WriteColumnHeaders();
}

void NodeTable::ClearAllNodes()
{
    ReplaceNodes({});
}

void NodeTable::ReplaceNodes(QList<Row> nodes)
{
    beginResetModel();
    {
        QMutexLocker lock(&mutex);
        // The new list becomes the table: its cells are neither copied nor
        // moved, and the old rows go with the list they are swapped into. A
        // list with room at its front (DecodeNodeList leaves some) takes the
        // header row without being moved either.
        nodes.prepend(rows[0]);
        nodes.append(Row{});
        rows.swap(nodes);
        RebuildIndex();
        confirmationAnswers.clear();
    }
    if (shownRows >= 0)
        shownRows = RowCount() - 1;
    endResetModel();
}

void NodeTable::IndexRow(int row)
{
    IpRows &entry = rowsByIp[rows[row][IpColumn]];
    ++entry.count;
    entry.last = std::max(entry.last, row);
}

void NodeTable::UnindexRow(int row)
{
    const QString &ip = rows[row][IpColumn];
    const auto found = rowsByIp.find(ip);
    if (found == rowsByIp.end())
        return;
    if (--found->count == 0) {
        rowsByIp.erase(found);
        return;
    }
    if (found->last != row)
        return;
    // Only rewriting a row's IP gets here; rows are never reordered, so the
    // previous row with the IP is the new last one.
    int previous = row - 1;
    while (previous >= 1 && rows[previous][IpColumn] != ip)
        --previous;
    found->last = previous;
}

void NodeTable::RebuildIndex()
{
    rowsByIp.clear();
    rowsByIp.reserve(rows.size());
    for (int row = 1; row < rows.size() - 1; ++row)
        IndexRow(row);
}

void NodeTable::CarryOverMarks()
{
    // Lengths first: a /16 has 655,360 result cells, nearly all empty.
    RewriteResultCells([](QString &cell, int) {
        if (cell.size() == 1 && QStringView(u"XxOo").contains(cell.at(0)))
            cell = u"+"_s;
    });
}

void NodeTable::SettleMarks()
{
    RewriteResultCells([](QString &cell, int) {
        if (cell.isEmpty() || cell.size() > 2 || cell.at(0) != u'+')
            return;
        if (cell.size() == 1)
            cell.clear();
        else if (QStringView(u"XxOo").contains(cell.at(1)))
            cell.remove(0, 1);
    });
}

void NodeTable::RestoreUnansweredMarks(const std::function<QString(int column)> &answerOf)
{
    RewriteResultCells([&answerOf](QString &cell, int column) {
        if (cell == u"+")
            cell = u"+"_s + answerOf(column);
    });
}

void NodeTable::RewriteResultCells(const std::function<void(QString &cell, int column)> &rewrite)
{
    {
        QMutexLocker lock(&mutex);
        for (int row = 1; row < rows.size(); ++row) {
            for (int c = FirstResultColumn; c <= LastResultColumn; ++c)
                rewrite(rows[row][size_t(c)], c);
        }
    }
    NotifyResultsChanged();
}

int NodeTable::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    if (shownRows >= 0)
        return shownRows;
    QMutexLocker lock(&mutex);
    return int(rows.size()) - 1;
}

int NodeTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant NodeTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    if (role == Qt::DisplayRole)
        return Cell(index.row() + 1, index.column());
    if (role == VerdictRole)
        return int(Verdict(index.row() + 1));
    if (role == Qt::ToolTipRole) {
        const auto answers = ConfirmationAnswers(Cell(index.row() + 1, IpColumn));
        if (!answers)
            return QVariant();
        return u"answered %1 of %2 confirmation probes"_s.arg(*answers).arg(ConfirmationProbeCount);
    }
    if (role == Qt::TextAlignmentRole && index.column() >= FirstResultColumn &&
        index.column() <= LastResultColumn)
        return int(Qt::AlignCenter);
    return QVariant();
}

QVariant NodeTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return Cell(0, section);
    return QVariant();
}

void NodeTable::BeginRowBatch()
{
    if (shownRows < 0)
        shownRows = RowCount() - 1;
}

void NodeTable::EndRowBatch()
{
    if (shownRows < 0)
        return;
    const int total = RowCount() - 1;
    if (total > shownRows) {
        beginInsertRows(QModelIndex(), shownRows, total - 1);
        shownRows = -1;
        endInsertRows();
    }
    shownRows = -1;
}

void NodeTable::NotifyRowsChanged(int firstRow, int lastRow)
{
    lastRow = std::min(lastRow, rowCount());
    if (firstRow > lastRow || !Shown(firstRow))
        return;
    Q_EMIT dataChanged(index(firstRow - 1, 0), index(lastRow - 1, ColumnCount - 1));
}

void NodeTable::BeginConfirmation(const QString &ip)
{
    {
        QMutexLocker lock(&mutex);
        confirmationAnswers.insert(ip, 0);
    }
    NotifyConfirmationChanged(ip);
}

void NodeTable::ClearConfirmations()
{
    {
        QMutexLocker lock(&mutex);
        if (confirmationAnswers.isEmpty())
            return;
        confirmationAnswers.clear();
    }
    NotifyRowsChanged(1, rowCount());
}

void NodeTable::CountConfirmationAnswer(const QString &ip)
{
    {
        QMutexLocker lock(&mutex);
        const auto it = confirmationAnswers.find(ip);
        if (it == confirmationAnswers.end() || *it >= ConfirmationProbeCount)
            return;
        ++*it;
    }
    NotifyConfirmationChanged(ip);
}

std::optional<int> NodeTable::ConfirmationAnswers(const QString &ip) const
{
    QMutexLocker lock(&mutex);
    const auto it = confirmationAnswers.constFind(ip);
    if (it == confirmationAnswers.constEnd())
        return std::nullopt;
    return *it;
}

ConfirmationVerdict NodeTable::Verdict(int row) const
{
    const auto answers = ConfirmationAnswers(Cell(row, IpColumn));
    return answers ? JudgeConfirmation(*answers) : ConfirmationVerdict::None;
}

void NodeTable::NotifyConfirmationChanged(const QString &ip)
{
    // Every row of the IP shows it; rows of one IP are few.
    const int last = RowCount() - 2;
    for (int row = 1; row <= last; ++row) {
        if (Cell(row, IpColumn) == ip)
            NotifyRowsChanged(row, row);
    }
}

void NodeTable::NotifyResultsChanged()
{
    const int last = rowCount() - 1;
    if (last >= 0)
        Q_EMIT dataChanged(index(0, FirstResultColumn), index(last, LastResultColumn));
}

bool IsSuspectRow(const NodeTable::Row &row)
{
    const auto answered = [](const QString &cell) {
        return cell.contains(u'O') || cell.contains(u'o') || cell.contains(u'X') ||
               cell.contains(u'x');
    };
    if (!answered(row[size_t(BroadcastColumn)]))
        return false;
    return std::any_of(
        row.begin() + FirstResultColumn, row.begin() + LastResultColumn + 1,
        [](const QString &cell) { return cell.contains(u'X') || cell.contains(u'x'); });
}

} // namespace keelwatch
