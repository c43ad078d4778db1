#pragma once

#include "config/testaddresses.h"

#include <QPoint>
#include <QTableView>

namespace keelwatch {

// The node list's grid. A left press moves the current row before the press
// is reported; a right press is reported without moving it, so the popup acts
// on the row that was selected before.
//
// The grid owns the column widths: the model holds data only.
class NodeGrid : public QTableView
{
    Q_OBJECT

  public:
    static constexpr int ResultWidth = 24;

    explicit NodeGrid(QWidget *parent = nullptr);

    // The widths every grid starts with; call once the model is set.
    void SetInitialColumnWidths();
    // Result columns shown ResultWidth wide: all ten with showAll, else
    // those of the switched-on tests. The other columns keep their widths.
    void ShowTestColumns(bool showAll, const TestFlags &tests);

  Q_SIGNALS:
    void mousePressed(Qt::MouseButton button, QPoint position);
    void mouseDoubleClicked();

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

} // namespace keelwatch
