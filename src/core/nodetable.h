#pragma once

#include "config/settings.h"
#include "scan/confirmationprobes.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace keelwatch {

// The scan state: one row per host that answered, 14 text columns. Row 0 is
// the header row and the last row is always empty, so an empty table has two
// rows; node rows are 1 to RowCount() - 2, in the order they were added.
//
// Every operation takes the table's lock, so the probe sender's thread can
// read column 0 while the main thread writes. An index from IP text to rows
// keeps finding and counting a node's rows as cheap at 65,536 nodes as at
// ten; every operation that adds, removes or rewrites rows keeps it current. Writes that change the
// row count must come from the thread the model lives in, because they notify the views attached to
// it.
//
// As a Qt model it shows node rows and the trailing row; row 0 is the header.
class NodeTable : public QAbstractTableModel
{
    Q_OBJECT

  public:
    static constexpr int ColumnCount = 14;
    static constexpr int IpColumn = 0;
    static constexpr int MacColumn = 1;
    static constexpr int CommentColumn = 12;
    static constexpr int VendorColumn = 13;

    // Every cell of a probed node's row: its ConfirmationVerdict as an int.
    // The tooltip role says how many confirmation probes it answered.
    static constexpr int VerdictRole = Qt::UserRole + 1;

    using Row = std::array<QString, ColumnCount>;
    using Tests = TestFlags;

    explicit NodeTable(QObject *parent = nullptr);

    // Fourteen columns and the header texts.
    void SetupNodeTable();
    void WriteColumnHeaders();

    int RowCount() const;
    QString Cell(int row, int column) const;
    void SetCell(int row, int column, const QString &text);
    Row RowCells(int row) const;
    // The rows from 1 on (the trailing row too) whose cell in column is
    // exactly text, in order, found in one pass under the lock.
    QList<int> RowsWithCell(int column, QStringView text) const;

    // The last node row whose IP text equals ip exactly, or 0.
    int FindNodeRow(const QString &ip) const;
    // How many node rows hold exactly this IP text.
    int CountNodeRows(const QString &ip) const;

    // Fills the trailing row with ip and mac, marks its switched-off tests
    // "-", appends a new empty trailing row and returns the filled row.
    int AddNodeRow(const QString &ip, const QString &mac, const Tests &tests);

    // Appends letter to the cell unless the cell already contains it.
    // Returns the cell's text afterwards.
    QString MergeMark(int row, int column, const QString &letter);

    // "-" in the result column of every switched-off test of the row.
    void MarkScanOff(int row, const Tests &tests);
    void MarkScanOffAll(const Tests &tests);

    // Empties the result columns of every row, the header too, then writes
    // the headers again. Node data stays.
    void ClearResults();
    // Removes every node row: the table holds the header and one empty row.
    void ClearAllNodes();
    // Replaces every node row (the trailing row is added). Pass the list as
    // an rvalue so that its rows are taken over, not copied.
    void ReplaceNodes(QList<Row> nodes);

    // Rows added between BeginRowBatch and EndRowBatch reach the views as one
    // insertion when the batch ends, however many replies added them. Main
    // thread only.
    void BeginRowBatch();
    void EndRowBatch();

    // Confirmation probes, by node IP: Begin starts a count afresh for the
    // probes just queued; answers to an IP that is not being confirmed are
    // not counted. Answers are capped at ConfirmationProbeCount.
    void BeginConfirmation(const QString &ip);
    // A new scanning sweep: the last sweep's verdicts no longer hold.
    void ClearConfirmations();
    void CountConfirmationAnswer(const QString &ip);
    // Answers counted for the IP, or nothing when it was not probed.
    std::optional<int> ConfirmationAnswers(const QString &ip) const;
    ConfirmationVerdict Verdict(int row) const;

    // Start of a cyclic scanning step: "X", "x", "O", "o" become "+".
    void CarryOverMarks();
    // After the evaluation: "+" becomes empty, "+X" becomes "X" and so on.
    void SettleMarks();
    // Before SettleMarks, when a step's silences are not judged: a "+"
    // without an answer takes back the mark answerOf(column), the one it
    // carried over, so the node stays as it was last seen.
    void RestoreUnansweredMarks(const std::function<QString(int column)> &answerOf);

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    // The node rows that hold one IP text: how many, and the last of them.
    struct IpRows
    {
        int count = 0;
        int last = 0;
    };

    // Index upkeep; the lock is held.
    bool IsNodeRow(int row) const { return row >= 1 && row < rows.size() - 1; }
    void IndexRow(int row);
    void UnindexRow(int row);
    void RebuildIndex();

    // Rewrites every result cell of the node rows and the trailing row.
    void RewriteResultCells(const std::function<void(QString &cell, int column)> &rewrite);
    void NotifyRowsChanged(int firstRow, int lastRow);
    // Whether the views know of this table row yet.
    bool Shown(int row) const { return row >= 1 && row - 1 < rowCount(); }
    void NotifyResultsChanged();
    void NotifyConfirmationChanged(const QString &ip);

    mutable QMutex mutex;
    QList<Row> rows;
    QHash<QString, IpRows> rowsByIp;
    QHash<QString, int> confirmationAnswers;
    // The model rows the views know of while a row batch runs, else -1.
    int shownRows = -1;
};

// A suspect: the host answered the broadcast test, so it is alive and
// listening, and some result column holds an illegal mark ("X" or "x"),
// an answer only a card in promiscuous mode would give.
bool IsSuspectRow(const NodeTable::Row &row);

} // namespace keelwatch
