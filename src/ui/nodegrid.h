#pragma once

#include <QPoint>
#include <QTableView>

namespace keelwatch {

// The node table's grid. A left press moves the current row before the press
// is reported; a right press is reported without moving it, so the popup acts
// on the row that was selected before.
class NodeGrid : public QTableView
{
    Q_OBJECT

  public:
    explicit NodeGrid(QWidget *parent = nullptr);

  Q_SIGNALS:
    void mousePressed(Qt::MouseButton button, QPoint position);
    void mouseDoubleClicked();

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

} // namespace keelwatch
