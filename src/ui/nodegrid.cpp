#include "ui/nodegrid.h"
#include "ui/nodelistmodel.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include <array>

namespace keelwatch {

namespace {

// IP Address, MAC Address, the ten result columns (ResultWidth), Comment and
// Vender Code.
constexpr std::array<int, NodeColumn::Count> InitialWidths = {100, 120, 24, 24, 24, 24, 24,
                                                              24,  24,  24, 24, 24, 80, 400};

// Rows of confirmed sniffers red, hash-filter coincidences amber.
class VerdictDelegate : public QStyledItemDelegate
{
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QColor VerdictColour(ConfirmationVerdict verdict)
    {
        switch (verdict) {
        case ConfirmationVerdict::Confirmed:
            return QColor(0xFF, 0x70, 0x70);
        case ConfirmationVerdict::FilterMatch:
            return QColor(0xFF, 0xC0, 0x40);
        case ConfirmationVerdict::None:
            break;
        }
        return QColor();
    }

  protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QColor colour =
            VerdictColour(ConfirmationVerdict(index.data(NodeListModel::VerdictRole).toInt()));
        if (colour.isValid())
            option->backgroundBrush = colour;
    }
};

} // namespace

NodeGrid::NodeGrid(QWidget *parent) : QTableView(parent)
{
    setItemDelegate(new VerdictDelegate(this));
}

void NodeGrid::SetInitialColumnWidths()
{
    for (int column = 0; column < NodeColumn::Count; ++column)
        setColumnWidth(column, InitialWidths[size_t(column)]);
}

void NodeGrid::ShowTestColumns(bool showAll, const TestFlags &tests)
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
    const QPoint position = event->position().toPoint();
    if (event->button() != Qt::RightButton) {
        QTableView::mousePressEvent(event);
    } else if (const QModelIndex pressed = indexAt(position); pressed.isValid()) {
        const bool inSelection = selectionModel()->isRowSelected(pressed.row(), pressed.parent());
        selectionModel()->setCurrentIndex(
            pressed, inSelection ? QItemSelectionModel::NoUpdate
                                 : QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    Q_EMIT mousePressed(event->button(), position);
}

void NodeGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    Q_EMIT mouseDoubleClicked(event->position().toPoint());
}

// The mouse's popup opens on the press itself.
void NodeGrid::contextMenuEvent(QContextMenuEvent *event)
{
    if (event->reason() == QContextMenuEvent::Keyboard)
        Q_EMIT keyboardMenuRequested();
    event->accept();
}

} // namespace keelwatch
