#include "ui/nodegrid.h"

#include <QMouseEvent>

#include <array>

namespace keelwatch {

namespace {

// IP Address, MAC Address, the ten result columns (ResultWidth), Comment and
// Vender Code.
constexpr std::array<int, NodeTable::ColumnCount> InitialWidths = {100, 120, 24, 24, 24, 24, 24,
                                                                   24,  24,  24, 24, 24, 80, 400};

} // namespace

NodeGrid::NodeGrid(QWidget *parent) : QTableView(parent) {}

void NodeGrid::SetInitialColumnWidths()
{
    for (int column = 0; column < NodeTable::ColumnCount; ++column)
        setColumnWidth(column, InitialWidths[size_t(column)]);
}

void NodeGrid::ShowTestColumns(bool showAll, const NodeTable::Tests &tests)
{
    for (int i = 0; i < TestCount; ++i) {
        const int column = FirstResultColumn + i;
        const bool shown = showAll || tests[size_t(i)];
        setColumnHidden(column, !shown);
        if (shown)
            setColumnWidth(column, ResultWidth);
    }
}

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
