#include "ui/nodegrid.h"
#include "ui/nodelistmodel.h"
#include "ui/themecolours.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// IP Address, MAC Address, the ten result columns (ResultWidth), Comment and
// Vender Code.
constexpr std::array<int, NodeColumn::Count> InitialWidths = {100, 120, 24, 24, 24, 24, 24,
                                                              24,  24,  24, 24, 24, 80, 400};

// Rows of confirmed sniffers red, hash-filter coincidences amber, with text
// that reads on them in light and dark themes. A selected row keeps its
// colour and shows the selection as a band of the highlight colour along
// its edges, so the auto scroll's selection never hides a verdict.
class VerdictDelegate : public QStyledItemDelegate
{
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const QColor colour =
            VerdictColour(ConfirmationVerdict(index.data(NodeListModel::VerdictRole).toInt()));
        if (!colour.isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem plain = option;
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        plain.state.setFlag(QStyle::State_Selected, false);
        QStyledItemDelegate::paint(painter, plain, index);
        if (!selected)
            return;
        const int band = std::max(2, option.rect.height() / 6);
        const QColor highlight = option.palette.color(QPalette::Highlight);
        painter->fillRect(QRect(option.rect.left(), option.rect.top(), option.rect.width(), band),
                          highlight);
        painter->fillRect(
            QRect(option.rect.left(), option.rect.bottom() - band + 1, option.rect.width(), band),
            highlight);
    }

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
        if (!colour.isValid())
            return;
        option->backgroundBrush = colour;
        const QColor text = ContrastingText(colour);
        option->palette.setColor(QPalette::Text, text);
        option->palette.setColor(QPalette::HighlightedText, text);
    }
};

} // namespace

NodeGrid::NodeGrid(QWidget *parent) : QTableView(parent)
{
    setItemDelegate(new VerdictDelegate(this));
    // Tab goes on to the next control, as everywhere else; the arrows move
    // within the grid.
    setTabKeyNavigation(false);
}

int NodeGrid::ResultColumnWidth() const
{
    // The header's font and its margins on both sides.
    const QFontMetrics metrics = horizontalHeader()->fontMetrics();
    const int margins = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this) + 2;
    int widest = ResultWidth;
    for (const TestAddress &test : TestAddresses)
        widest = std::max(widest,
                          metrics.horizontalAdvance(QString::fromUtf16(test.shortName)) + margins);
    return widest;
}

void NodeGrid::SetInitialColumnWidths()
{
    // The first widths, wider where the desktop's font needs it for an
    // address or a title.
    const QFontMetrics metrics = fontMetrics();
    const int address = metrics.horizontalAdvance(u"255.255.255.255"_s) + 12;
    const int mac = metrics.horizontalAdvance(u"00:00:00:00:00:00"_s) + 12;
    for (int column = 0; column < NodeColumn::Count; ++column) {
        int width = InitialWidths[size_t(column)];
        if (column == NodeColumn::Ip)
            width = std::max(width, address);
        else if (column == NodeColumn::Mac)
            width = std::max(width, mac);
        else if (column >= FirstResultColumn && column <= LastResultColumn)
            width = ResultColumnWidth();
        setColumnWidth(column, width);
    }
}

void NodeGrid::ShowTestColumns(bool showAll, const TestFlags &tests)
{
    for (int i = 0; i < TestCount; ++i) {
        const int column = FirstResultColumn + i;
        const bool shown = showAll || tests[size_t(i)];
        setColumnHidden(column, !shown);
        if (shown)
            setColumnWidth(column, ResultColumnWidth());
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
