#pragma once

#include "config/testaddresses.h"

#include <QPoint>
#include <QTableView>

namespace keelwatch {

// The node list's grid. Every press moves the current row to the row under
// the pointer before it is reported, so the popup acts on the row that was
// right-clicked even while the auto scroll moves the current row. A right
// press inside a selection of several rows keeps that selection for copying.
//
// The grid owns the column widths: the model holds data only.
class NodeGrid : public QTableView
{
    Q_OBJECT

  public:
    // The least width of a result column; wider where the desktop's font
    // needs it for the column's title.
    static constexpr int ResultWidth = 24;

    explicit NodeGrid(QWidget *parent = nullptr);

    // The widths every grid starts with; call once the model is set.
    void SetInitialColumnWidths();
    // How wide a result column is shown.
    int ResultColumnWidth() const;
    // Result columns shown ResultColumnWidth wide: all ten with showAll,
    // else those of the switched-on tests. The other columns keep their
    // widths.
    void ShowTestColumns(bool showAll, const TestFlags &tests);

  Q_SIGNALS:
    void mousePressed(Qt::MouseButton button, QPoint position);
    void mouseDoubleClicked(QPoint position);
    // The menu key or Shift+F10: the popup for the current row.
    void keyboardMenuRequested();

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
};

} // namespace keelwatch
