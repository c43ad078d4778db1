#include "ui/nodegrid.h"

#include <QMouseEvent>

namespace keelwatch {

NodeGrid::NodeGrid(QWidget *parent) : QTableView(parent) {}

void NodeGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::RightButton)
        QTableView::mousePressEvent(event);
    Q_EMIT mousePressed(event->button(), event->position().toPoint());
}

void NodeGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    Q_EMIT mouseDoubleClicked();
}

} // namespace keelwatch
