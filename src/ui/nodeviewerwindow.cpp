#include "ui/nodeviewerwindow.h"

#include "ui/messagebox.h"

#include <QFileDialog>
#include <QFocusEvent>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace keelwatch {

NodeViewerWindow::NodeViewerWindow(const LiveSettings &settings, QWidget *parent)
    : QWidget(parent, Qt::Window), messages(MessageBoxSink(this)),
      viewer(settings, [this](const QString &text) { messages(text); })
{
    setObjectName(u"TForm8"_s);
    setWindowTitle(viewer.Caption());
    // The layout sets the least width the controls need; the grid takes the rest.
    resize(468, 468);

    ipField = new QLineEdit(this);
    logFileField = new QLineEdit(this);
    startButton = new QPushButton(tr("&Start"), this);
    auto *stopButton = new QPushButton(tr("S&top"), this);
    auto *clearButton = new QPushButton(tr("&Clear"), this);
    chooseLogButton = new QPushButton(u"..."_s, this);
    historyGrid = new QTableView(this);
    ipField->setObjectName(u"Edit1"_s);
    logFileField->setObjectName(u"Edit2"_s);
    startButton->setObjectName(u"Button1"_s);
    chooseLogButton->setObjectName(u"Button2"_s);
    clearButton->setObjectName(u"Button3"_s);
    stopButton->setObjectName(u"Button4"_s);
    historyGrid->setObjectName(u"SG2"_s);
    ipField->setMinimumWidth(ipField->fontMetrics().horizontalAdvance(u"255.255.255.255"_s) + 8);
    logFileField->setMinimumWidth(
        logFileField->fontMetrics().horizontalAdvance(u"/var/log/keelwatch.log"_s) + 8);
    // Buttons as narrow as their captions, so the fields get the room.
    for (QPushButton *button : {startButton, stopButton, clearButton, chooseLogButton})
        button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("IP Address: "), this));
    top->addWidget(ipField, 1);
    top->addWidget(startButton);
    top->addWidget(stopButton);
    top->addWidget(clearButton);
    top->addWidget(new QLabel(tr("LogFile: "), this));
    top->addWidget(logFileField, 2);
    top->addWidget(chooseLogButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(top);
    layout->addWidget(historyGrid, 1);

    historyGrid->setModel(&viewer.Grid());
    historyGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    historyGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    historyGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    historyGrid->horizontalHeader()->setMinimumSectionSize(8);
    // Whole-row selection would set every title in bold, too wide for them.
    historyGrid->horizontalHeader()->setHighlightSections(false);
    historyGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    historyGrid->verticalHeader()->hide();
    historyGrid->verticalHeader()->setDefaultSectionSize(16);

    ipField->installEventFilter(this);
    connect(startButton, &QPushButton::clicked, this, &NodeViewerWindow::Start);
    connect(chooseLogButton, &QPushButton::clicked, this, &NodeViewerWindow::ChooseLogFile);
    connect(clearButton, &QPushButton::clicked, this, [this] { viewer.Clear(); });
    connect(stopButton, &QPushButton::clicked, this, [this] { viewer.Stop(); });
    connect(&viewer, &NodeViewer::liveChanged, this, &NodeViewerWindow::SetLiveControls);
    connect(&viewer, &NodeViewer::captionChanged, this, &QWidget::setWindowTitle);
    connect(&viewer, &NodeViewer::hideRequested, this, &QWidget::hide);
    connect(&viewer, &NodeViewer::latestRowSelected, this, &NodeViewerWindow::SelectRow);
    connect(&viewer, &NodeViewer::followedFieldsRestored, this,
            [this](const QString &ip, const QString &path) {
                ipField->setText(ip);
                logFileField->setText(path);
            });
}

void NodeViewerWindow::OpenFor(const QString &ip, const QString &logPath)
{
    if (!viewer.IsLive()) {
        ipField->setText(ip);
        logFileField->setText(logPath);
    }
    show();
    raise();
    activateWindow();
}

void NodeViewerWindow::Start()
{
    CheckIpField();
    viewer.Start(ipField->text(), logFileField->text());
}

void NodeViewerWindow::ChooseLogFile()
{
    auto *dialog = new QFileDialog(this, QString(), logFileField->text());
    dialog->setObjectName(u"OpenDialog1"_s);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(u"log"_s);
    dialog->setNameFilters({tr("LOG (*.log)"), tr("TEXT (*.txt)")});
    connect(dialog, &QFileDialog::fileSelected, logFileField, &QLineEdit::setText);
    dialog->open();
}

void NodeViewerWindow::CheckIpField()
{
    ipField->setText(ValidIpText(ipField->text()));
}

void NodeViewerWindow::showEvent(QShowEvent *event)
{
    // The widths were chosen for a 13-pixel line; a larger desktop font
    // widens them alike, so a date and time still fit the TIME column.
    const qreal scale = std::max(1.0, historyGrid->fontMetrics().height() / 13.0);
    // No narrower than the column's title ("B47" does not fit 24 pixels of
    // most desktop fonts).
    const QHeaderView *header = historyGrid->horizontalHeader();
    const int titleMargins =
        2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 2;
    for (int c = 0; c < NodeViewerGrid::ColumnCount; ++c) {
        const int title = header->fontMetrics().horizontalAdvance(
                              historyGrid->model()->headerData(c, Qt::Horizontal).toString()) +
                          titleMargins;
        historyGrid->setColumnWidth(
            c, std::max(qRound(NodeViewerGrid::ColumnWidths[size_t(c)] * scale), title));
    }
    // A date and time in full, with the cell's margins.
    historyGrid->setColumnWidth(
        NodeViewerGrid::TimeColumn,
        std::max(historyGrid->columnWidth(NodeViewerGrid::TimeColumn),
                 historyGrid->fontMetrics().horizontalAdvance(u"08/Dec/2026 22:15:07"_s) + 16));
    historyGrid->setColumnHidden(NodeViewerGrid::ColumnCount - 1, true);
    QWidget::showEvent(event);
}

void NodeViewerWindow::hideEvent(QHideEvent *event)
{
    if (!event->spontaneous()) {
        viewer.Stop();
        viewer.Clear();
    }
    QWidget::hideEvent(event);
}

bool NodeViewerWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ipField && event->type() == QEvent::FocusOut)
        CheckIpField();
    return QWidget::eventFilter(watched, event);
}

void NodeViewerWindow::SetLiveControls(bool live)
{
    startButton->setEnabled(!live);
    chooseLogButton->setEnabled(!live);
    ipField->setEnabled(!live);
    logFileField->setEnabled(!live);
}

void NodeViewerWindow::SelectRow(int row)
{
    // Grid row 0 holds the titles, so the model's rows start at grid row 1.
    if (row < 1)
        return;
    historyGrid->selectRow(row - 1);
    historyGrid->scrollTo(viewer.Grid().index(row - 1, 0));
}

} // namespace keelwatch
