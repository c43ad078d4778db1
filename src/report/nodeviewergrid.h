#pragma once

#include "config/settings.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <array>

namespace keelwatch {

// The node viewer's grid: row 0 holds the titles, the last row is always
// empty and the row above it is the latest row. As a Qt model it shows the
// rows below the titles; row 0 is the header.
class NodeViewerGrid : public QAbstractTableModel
{
    Q_OBJECT

  public:
    static constexpr int ColumnCount = 13;
    static constexpr int StatusColumn = 0;
    static constexpr int TimeColumn = 1;
    // More rows than this (titles and empty row included) and the oldest
    // DropRows rows below the titles go.
    static constexpr int MaxRows = 2000;
    static constexpr int DropRows = 1000;
    // Pixels; the comment column is hidden.
    static constexpr std::array<int, ColumnCount> ColumnWidths{60, 130, 24, 24, 24, 24, 24,
                                                               24, 24,  24, 24, 24, 0};

    using Row = std::array<QString, ColumnCount>;
    using Marks = std::array<QString, TestCount>;

    explicit NodeViewerGrid(QObject *parent = nullptr);

    int RowCount() const { return int(rows.size()); }
    QString Cell(int row, int column) const;
    void SetCell(int row, int column, const QString &text);
    Marks RowMarks(int row) const;
    void SetMarks(int row, const Marks &marks);
    // Adds an empty row at the bottom.
    void AppendRow();
    // Puts rows above the empty bottom row, as one insertion.
    void InsertAboveBottom(QList<Row> newRows);
    // Removes the count rows below the titles.
    void DropOldest(int count);
    // The titles and one empty row.
    void Reset();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    QList<Row> rows;
};

} // namespace keelwatch
