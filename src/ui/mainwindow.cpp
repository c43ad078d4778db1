#include "ui/mainwindow.h"

#include "ui/eventwindowsadapter.h"

#include "config/addresstext.h"
#include "report/nodelistfile.h"
#include "ui/logo.h"
#include "ui/networkrange.h"
#include "ui/nodegrid.h"
#include "ui/nodegridfilter.h"
#include "ui/nodelistmodel.h"
#include "ui/scanmode.h"
#include "ui/themecolours.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

constexpr std::array<int, MainWindow::PanelCount> PanelWidths = {50, 120, 100, 40, 40, 60, 100, 50};
constexpr int GridRowHeight = 16;
constexpr int EventPaneMinHeight = 80;

template <typename Widget> Widget *Named(Widget *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

} // namespace

MainWindow::MainWindow(NodeList &n, const QStringList &arguments, QWidget *parent)
    : QMainWindow(parent), nodes(n), model(new NodeListModel(nodes, this)),
      gridFilter(new NodeGridFilter(*model, this))
{
    // A picked node is gone when the list is replaced.
    connect(&nodes, &NodeList::replaced, this, [this] { selectedNode = -1; });
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Keelwatch Ver 3.0"_s);
    // Wide enough for every column of the grid at its first widths.
    resize(InitialSize);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);

    BuildTopPanel();
    layout->addWidget(topPanel);
    layout->addWidget(BuildMiddlePanel(), 1);
    BuildStatusBar();
    BuildMenus();
    BuildPopupMenu();

    nodeGrid->SetInitialColumnWidths();
    SetPanelText(0, tr("READY"));
    for (const QString &argument : arguments)
        autoStart = autoStart || argument.toLower() == u"auto";
    if (autoStart) {
        SetPanelText(0, tr("AUTO"));
        SetScanControlsEnabled(false);
    }
}

void MainWindow::BuildTopPanel()
{
    topPanel = Named(new QFrame(centralWidget()), u"Panel1"_s);
    topPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);

    auto *rangeGroup = Named(new QGroupBox(tr("IP Address Range"), topPanel), u"GroupBox1"_s);
    auto *fromLabel = Named(new QLabel(tr("From: "), rangeGroup), u"Label1"_s);
    fromField = Named(new QLineEdit(rangeGroup), u"Edit1"_s);
    auto *toLabel = Named(new QLabel(tr("To: "), rangeGroup), u"Label2"_s);
    toField = Named(new QLineEdit(rangeGroup), u"Edit2"_s);
    for (QLineEdit *field : {fromField, toField}) {
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(u"255.255.255.255"_s) + 12);
        field->setToolTip(tr("An IPv4 address, or a network such as 192.168.1.0/24 for all of "
                             "its hosts"));
    }
    auto *rangeRow = new QHBoxLayout(rangeGroup);
    rangeRow->setContentsMargins(6, 2, 6, 4);
    rangeRow->addWidget(fromLabel);
    rangeRow->addWidget(fromField);
    rangeRow->addWidget(toLabel);
    rangeRow->addWidget(toField);

    startButton = Named(new QPushButton(tr("S&tart"), topPanel), u"Button1"_s);
    auto *stopButton = Named(new QPushButton(tr("St&op"), topPanel), u"Button2"_s);
    clearButton = Named(new QPushButton(tr("&Clear"), topPanel), u"Button3"_s);
    clearButton->setToolTip(tr("All clear : [shift] & Click"));
    auto *buttons = new QGridLayout;
    buttons->setSpacing(2);
    buttons->addWidget(startButton, 0, 0, 1, 2);
    buttons->addWidget(stopButton, 1, 0);
    buttons->addWidget(clearButton, 1, 1);

    autoScrollCheck = Named(new QCheckBox(tr("Auto Scroll"), topPanel), u"scrollcheck"_s);
    autoScrollCheck->setChecked(true);
    beepCheck = Named(new QCheckBox(tr("Beep"), topPanel), u"BeepCheck"_s);
    auto *checks = new QVBoxLayout;
    checks->setSpacing(2);
    checks->addWidget(autoScrollCheck);
    checks->addWidget(beepCheck);

    filterField = Named(new QLineEdit(topPanel), u"GridFilter"_s);
    filterField->setPlaceholderText(tr("Filter: IP, MAC, vendor, comment"));
    filterField->setClearButtonEnabled(true);
    filterField->setMinimumWidth(
        filterField->fontMetrics().horizontalAdvance(filterField->placeholderText()) + 32);
    suspectsOnlyCheck = Named(new QCheckBox(tr("Suspects only"), topPanel), u"SuspectsOnly"_s);
    suspectsOnlyCheck->setToolTip(tr("Nodes that answered Br and gave an illegal answer (X or x)"));
    auto *filters = new QVBoxLayout;
    filters->setSpacing(2);
    filters->addWidget(filterField);
    filters->addWidget(suspectsOnlyCheck);
    connect(filterField, &QLineEdit::textChanged, gridFilter, &NodeGridFilter::SetFilterText);
    connect(suspectsOnlyCheck, &QCheckBox::toggled, gridFilter, &NodeGridFilter::SetSuspectsOnly);

    logo = Named(new QLabel(topPanel), u"Image1"_s);
    logo->setPixmap(DrawLogo(IsDark(palette()), devicePixelRatioF()));
    logo->setAttribute(Qt::WA_TranslucentBackground);

    auto *row = new QHBoxLayout(topPanel);
    row->setContentsMargins(4, 2, 4, 2);
    row->addWidget(rangeGroup);
    row->addLayout(buttons);
    row->addLayout(checks);
    row->addLayout(filters);
    row->addStretch(1);
    row->addWidget(logo, 0, Qt::AlignVCenter);

    for (QWidget *watched : std::initializer_list<QWidget *>{fromField, toField, clearButton, logo})
        watched->installEventFilter(this);

    connect(startButton, &QPushButton::clicked, this, &MainWindow::startRequested);
    connect(stopButton, &QPushButton::clicked, this, &MainWindow::stopRequested);
    // textEdited and clicked come from the user only, so applying settings
    // does not report an edit.
    for (QLineEdit *field : {fromField, toField})
        connect(field, &QLineEdit::textEdited, this, &MainWindow::rangeOrOptionsEdited);
    for (QCheckBox *check : {autoScrollCheck, beepCheck})
        connect(check, &QCheckBox::clicked, this, &MainWindow::rangeOrOptionsEdited);

    setTabOrder(fromField, toField);
    setTabOrder(toField, startButton);
    setTabOrder(startButton, stopButton);
    setTabOrder(stopButton, clearButton);
    setTabOrder(clearButton, autoScrollCheck);
    setTabOrder(autoScrollCheck, beepCheck);
}

QFrame *MainWindow::BuildMiddlePanel()
{
    auto *middlePanel = Named(new QFrame(centralWidget()), u"Panel2"_s);
    middlePanel->setMinimumHeight(162);
    auto *layout = new QVBoxLayout(middlePanel);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *splitter = Named(new QSplitter(Qt::Vertical, middlePanel), u"Splitter1"_s);
    splitter->setHandleWidth(2);
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter);

    nodeGrid = Named(new NodeGrid(splitter), u"SG"_s);
    nodeGrid->setModel(gridFilter);
    nodeGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several rows may be picked for copying; the menus act on the current one.
    nodeGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    nodeGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    nodeGrid->setShowGrid(true);
    nodeGrid->setWordWrap(false);
    QHeaderView *rowHeader = nodeGrid->verticalHeader();
    rowHeader->hide();
    // Rows as low as the desktop's font allows.
    const int rowHeight = std::max(GridRowHeight, nodeGrid->fontMetrics().height() + 4);
    rowHeader->setMinimumSectionSize(rowHeight);
    rowHeader->setDefaultSectionSize(rowHeight);
    rowHeader->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView *columnHeader = nodeGrid->horizontalHeader();
    columnHeader->setMinimumSectionSize(1);
    columnHeader->setSectionResizeMode(QHeaderView::Interactive);
    columnHeader->setHighlightSections(false);
    // The nodes start in the order they were found; a third click on a
    // title returns to it.
    columnHeader->setSortIndicator(-1, Qt::AscendingOrder);
    columnHeader->setSortIndicatorClearable(true);
    nodeGrid->setSortingEnabled(true);
    columnHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    eventPane = Named(new QPlainTextEdit(splitter), u"Memo1"_s);
    eventPane->setReadOnly(true);
    eventPane->setLineWrapMode(QPlainTextEdit::NoWrap);
    eventPane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    eventPane->setMinimumHeight(EventPaneMinHeight);
    // Log lines line up in the desktop's fixed-width font.
    eventPane->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({150, EventPaneMinHeight});
    setTabOrder(beepCheck, eventPane);
    setTabOrder(eventPane, nodeGrid);

    connect(nodeGrid, &QAbstractItemView::clicked, this, &MainWindow::OnGridClicked);
    connect(nodeGrid, &NodeGrid::mouseDoubleClicked, this, &MainWindow::OnGridDoubleClicked);
    connect(nodeGrid, &NodeGrid::mousePressed, this, &MainWindow::OnGridPressed);
    connect(nodeGrid, &NodeGrid::keyboardMenuRequested, this, &MainWindow::OnGridMenuKey);
    return middlePanel;
}

namespace {

// What a status panel shows, for its tooltip and for screen readers.
QString PanelName(int panel)
{
    const std::array<QString, MainWindow::PanelCount> names = {
        MainWindow::tr("Run state"),
        MainWindow::tr("Scan mode"),
        MainWindow::tr("Scan step"),
        MainWindow::tr("Packet Number: probes per address and test"),
        MainWindow::tr("Scan Timer: seconds to wait for replies after each sweep"),
        MainWindow::tr("Node Timer: milliseconds between two addresses"),
        MainWindow::tr("Capture state"),
        MainWindow::tr("Packet driver, or the capture counter"),
    };
    return names[size_t(panel)];
}

} // namespace

void MainWindow::BuildStatusBar()
{
    auto *bar = Named(new QStatusBar(this), u"SB"_s);
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < PanelCount; ++i) {
        auto *panel = Named(new QLabel(bar), u"SBPanel"_s + QString::number(i));
        panel->setToolTip(PanelName(i));
        panel->setAccessibleName(PanelName(i).section(u':', 0, 0));
        panel->setMinimumWidth(PanelWidths[size_t(i)]);
        if (i == PanelCount - 1) {
            panel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        } else {
            panel->setAlignment(Qt::AlignCenter);
            panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        }
        // The last panel takes the rest, for the library's version text.
        bar->addWidget(panel, i == PanelCount - 1 ? 1 : 0);
        panels[size_t(i)] = panel;
    }
    sweepProgress = Named(new QLabel(bar), u"SweepProgress"_s);
    sweepProgress->setAccessibleName(tr("Sweep progress"));
    bar->addPermanentWidget(sweepProgress);
    setStatusBar(bar);
}

void MainWindow::BuildMenus()
{
    QMenu *file = Named(menuBar()->addMenu(tr("&File")), u"File1"_s);
    QAction *saveNodeList = Named(file->addAction(tr("&Save node list")), u"savedata1"_s);
    saveNodeList->setShortcut(QKeySequence::Save);
    loadNodeListAction = Named(file->addAction(tr("&Load node list")), u"loaddata1"_s);
    loadNodeListAction->setShortcut(QKeySequence::Open);
    QAction *exportReport = Named(file->addAction(tr("&Export report...")), u"ExportReport"_s);
    connect(exportReport, &QAction::triggered, this, &MainWindow::exportReportRequested);
    file->addSeparator();
    QAction *exit = Named(file->addAction(tr("E&xit")), u"Exit1"_s);
    exit->setShortcut(Qt::CTRL | Qt::Key_Q);
    connect(saveNodeList, &QAction::triggered, this, &MainWindow::saveNodeListRequested);
    connect(loadNodeListAction, &QAction::triggered, this, &MainWindow::loadNodeListRequested);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QAction *setup = Named(menuBar()->addAction(tr("&Setup")), u"Setup1"_s);
    connect(setup, &QAction::triggered, this, &MainWindow::setupRequested);

    QMenu *view = Named(menuBar()->addMenu(tr("&View")), u"View1"_s);
    QAction *nodeViewer = Named(view->addAction(tr("&Node viewer")), u"N1"_s);
    QAction *commentEditor = Named(view->addAction(tr("&Comment Editor")), u"N7"_s);
    QAction *alert = Named(view->addAction(tr("&Alert")), u"N8"_s);
    connect(nodeViewer, &QAction::triggered, this, &MainWindow::nodeViewerRequested);
    connect(commentEditor, &QAction::triggered, this,
            [this] { Q_EMIT commentEditorRequested(selectedNode); });
    connect(alert, &QAction::triggered, this, &MainWindow::alertRequested);

    QMenu *help = Named(menuBar()->addMenu(tr("&Help")), u"Help1"_s);
    QAction *contents = Named(help->addAction(tr("&Contents")), u"HelpContents"_s);
    contents->setShortcut(QKeySequence::HelpContents);
    connect(contents, &QAction::triggered, this, [this] { Q_EMIT helpRequested(QString()); });
    QMenu *marks = Named(help->addMenu(tr("Result &Marks")), u"ResultMarks1"_s);
    // Each mark opens the help where the marks are explained.
    for (const QString &mark :
         {tr("X :Illegal response(Ethernet)"), tr("x :Illegal response(IEEE 802.3)"),
          tr("O :Correct response(Ethernet)"), tr("o :Correct response(IEEE 802.3)"),
          tr("+ :Last time response"), tr("[ ] :Black"), tr("- :Scan OFF")})
        connect(marks->addAction(mark), &QAction::triggered, this,
                [this] { Q_EMIT helpRequested(u"marks"_s); });
    QAction *about = Named(help->addAction(tr("&About")), u"About1"_s);
    connect(about, &QAction::triggered, this, &MainWindow::aboutRequested);
}

void MainWindow::BuildPopupMenu()
{
    popupMenu = Named(new QMenu(this), u"PopupMenu1"_s);
    popupTitle = Named(popupMenu->addAction(tr("<< IP = not selected >>")), u"PopupTitle"_s);
    popupTitle->setEnabled(false);
    popupMenu->addSeparator();
    QAction *nodeViewer = Named(popupMenu->addAction(tr("Node &Viewer")), u"N3"_s);
    QAction *commentEditor = Named(popupMenu->addAction(tr("&Comment Editor")), u"N4"_s);
    QAction *externalCommand = Named(popupMenu->addAction(tr("E&xternal Command")), u"N5"_s);
    connect(nodeViewer, &QAction::triggered, this,
            [this] { Q_EMIT nodeHistoryRequested(selectedNode); });
    connect(commentEditor, &QAction::triggered, this,
            [this] { Q_EMIT commentEditorRequested(selectedNode); });
    connect(externalCommand, &QAction::triggered, this,
            [this] { Q_EMIT externalCommandRequested(selectedNode); });
    popupMenu->addSeparator();
    QAction *copyRows = Named(popupMenu->addAction(tr("C&opy rows")), u"CopyRows"_s);
    copyRows->setShortcut(QKeySequence::Copy);
    QAction *copyNodeList =
        Named(popupMenu->addAction(tr("Copy as node &list")), u"CopyNodeList"_s);
    copyNodeList->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_C);
    // The same keys work in the grid without opening the menu.
    for (QAction *copy : {copyRows, copyNodeList}) {
        copy->setShortcutContext(Qt::WidgetShortcut);
        nodeGrid->addAction(copy);
    }
    connect(copyRows, &QAction::triggered, this, [this] { CopySelectedRows(false); });
    connect(copyNodeList, &QAction::triggered, this, [this] { CopySelectedRows(true); });
}

void MainWindow::ApplySettings(const Settings &settings)
{
    fromField->setText(settings.from);
    toField->setText(settings.to);
    autoScrollCheck->setChecked(settings.autoScroll);
    beepCheck->setChecked(settings.beep);
}

void MainWindow::RestoreGeometry(const QString &stored)
{
    if (!stored.isEmpty())
        restoreGeometry(QByteArray::fromBase64(stored.toLatin1()));
}

QString MainWindow::StoredGeometry() const
{
    return QString::fromLatin1(saveGeometry().toBase64());
}

void MainWindow::ReadSettings(Settings &settings) const
{
    settings.from = fromField->text();
    settings.to = toField->text();
    settings.autoScroll = autoScrollCheck->isChecked();
    settings.beep = beepCheck->isChecked();
}

bool MainWindow::AutoScrollChecked() const
{
    return autoScrollCheck->isChecked();
}

void MainWindow::AppendPaneNote(const QString &text)
{
    eventPane->appendPlainText(text);
}

std::unique_ptr<EventWindowsAdapter> MainWindow::CreateEventWindows(AlertMessageWindow *alert)
{
    return std::make_unique<EventWindowsAdapter>(eventPane, alert, this);
}

void MainWindow::SetPanelText(int panel, const QString &text)
{
    if (panel >= 0 && panel < PanelCount)
        panels[size_t(panel)]->setText(text);
}

void MainWindow::SetPanelToolTip(int panel, const QString &text)
{
    if (panel >= 0 && panel < PanelCount)
        panels[size_t(panel)]->setToolTip(text.isEmpty() ? PanelName(panel) : text);
}

void MainWindow::ShowSweepProgress(const QString &text)
{
    sweepProgress->setText(text);
}

QString MainWindow::PanelText(int panel) const
{
    return panel >= 0 && panel < PanelCount ? panels[size_t(panel)]->text() : QString();
}

void MainWindow::ShowScanMode(const Settings &settings)
{
    SetPanelText(1, ScanModeText(settings.listMode, settings.cyclic));
    SetPanelText(3, tr("%1 pkt").arg(settings.packetCount));
    SetPanelText(4, tr("%1 s").arg(settings.scanTimerSeconds));
    // While the send rate paces the probes the Node Timer paces nothing.
    if (settings.sendRate > 0) {
        SetPanelText(5, tr("%1/s").arg(settings.sendRate));
        SetPanelToolTip(5, tr("Send rate: frames per second (the Node Timer is not used)"));
    } else {
        SetPanelText(5, tr("%1 ms").arg(settings.nodeTimerMs));
        SetPanelToolTip(5, QString());
    }
}

void MainWindow::ShowTestColumns(bool showAll, const TestFlags &tests)
{
    nodeGrid->ShowTestColumns(showAll, tests);
}

void MainWindow::SetScanControlsEnabled(bool enabled)
{
    for (QWidget *control :
         std::initializer_list<QWidget *>{fromField, toField, startButton, clearButton})
        control->setEnabled(enabled);
    // Saving takes the list as it is at that moment, so it may happen
    // during a scan; loading would replace the nodes the scan works on.
    loadNodeListAction->setEnabled(enabled);
}

void MainWindow::PressStart()
{
    if (startButton->isEnabled())
        Q_EMIT startRequested();
}

void MainWindow::PressStop()
{
    Q_EMIT stopRequested();
}

void MainWindow::ClearAllNodes()
{
    nodes.Clear();
    eventPane->clear();
}

void MainWindow::ShowNode(int index)
{
    const QModelIndex shown = gridFilter->GridIndex(index);
    if (!shown.isValid())
        return;
    nodeGrid->selectRow(shown.row());
    nodeGrid->scrollTo(shown);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusOut:
        if (watched == fromField || watched == toField)
            CheckRangeField(static_cast<QLineEdit *>(watched));
        break;
    case QEvent::MouseButtonPress:
        if (watched == clearButton) {
            const auto *press = static_cast<QMouseEvent *>(event);
            OnClearPressed(press->buttons(), press->modifiers());
        }
        break;
    case QEvent::KeyPress:
        // Space on the focused button is its press from the keyboard, Shift
        // as with the mouse.
        if (watched == clearButton) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Space && !key->isAutoRepeat())
                OnClearPressed(Qt::LeftButton, key->modifiers());
        }
        break;
    case QEvent::Shortcut:
        // The key letter presses it as a plain click does: the marks go.
        if (watched == clearButton)
            OnClearPressed(Qt::LeftButton, Qt::NoModifier);
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == logo)
            ToggleCaptureCounter();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::changeEvent(QEvent *event)
{
    // The desktop switched between a light and a dark theme.
    if (event->type() == QEvent::PaletteChange && logo)
        logo->setPixmap(DrawLogo(IsDark(palette()), devicePixelRatioF()));
    QMainWindow::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    Q_EMIT closing();
    event->accept();
}

// The row under the pointer, not the current row: the auto scroll moves
// that one. Below the last row, or in an empty grid, no node is picked.
int MainWindow::GridNodeAt(QPoint position) const
{
    return gridFilter->NodeIndex(nodeGrid->indexAt(position));
}

QString MainWindow::SelectedRowsText(bool asNodeList) const
{
    QModelIndexList picked = nodeGrid->selectionModel()->selectedRows();
    std::sort(picked.begin(), picked.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex &index : picked) {
        const int node = gridFilter->NodeIndex(index);
        if (node < 0)
            continue;
        const NodeCells cells = NodeCellTexts(nodes.At(node));
        lines.append(asNodeList ? EncodeNodeListLine(cells)
                                : QStringList(cells.begin(), cells.end()).join(u'\t'));
    }
    // Node list lines as the file holds them, so they can be pasted into one.
    const QString end = asNodeList ? u"\r\n"_s : u"\n"_s;
    return lines.isEmpty() ? QString() : lines.join(end) + end;
}

void MainWindow::CopySelectedRows(bool asNodeList)
{
    const QString text = SelectedRowsText(asNodeList);
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void MainWindow::OfferRange(const IpRange &range)
{
    if (!fromField->text().isEmpty() || !toField->text().isEmpty())
        return;
    fromField->setText(range.first.ToText());
    toField->setText(range.last.ToText());
    Q_EMIT rangeOrOptionsEdited();
}

// A network typed as "10.77.0.0/24" in either field becomes its host range
// in both. A field left with an invalid address is emptied; that is an edit
// too.
void MainWindow::CheckRangeField(QLineEdit *field)
{
    if (const std::optional<IpRange> network = RangeFromCidr(field->text())) {
        fromField->setText(network->first.ToText());
        toField->setText(network->last.ToText());
        Q_EMIT rangeOrOptionsEdited();
        return;
    }
    const QString checked = ValidIpText(field->text());
    if (checked == field->text())
        return;
    field->setText(checked);
    Q_EMIT rangeOrOptionsEdited();
}

// Shift with the left button and nothing else removes every node, once the
// user says so; any other press clears only the marks.
void MainWindow::OnClearPressed(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    if (!clearButton->isEnabled())
        return;
    if (buttons == Qt::LeftButton && modifiers == Qt::ShiftModifier)
        AskClearAllNodes();
    else
        nodes.ClearResults();
}

// Asked without blocking: the press that asks is still being delivered.
void MainWindow::AskClearAllNodes()
{
    auto *question = Named(new QMessageBox(QMessageBox::Question, u"Keelwatch"_s,
                                           tr("Remove every node from the list and empty the "
                                              "event pane?"),
                                           QMessageBox::Yes | QMessageBox::No, this),
                           u"ClearAllQuestion"_s);
    question->setDefaultButton(QMessageBox::No);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::finished, this, [this](int answer) {
        // A scan started meanwhile (the automatic start) keeps its nodes.
        if (answer == QMessageBox::Yes && clearButton->isEnabled())
            ClearAllNodes();
    });
    question->open();
}

void MainWindow::OnGridClicked(const QModelIndex &index)
{
    selectedNode = gridFilter->NodeIndex(index);
}

void MainWindow::OnGridDoubleClicked(QPoint position)
{
    selectedNode = GridNodeAt(position);
    Q_EMIT externalCommandRequested(selectedNode);
}

// The node the menus act on, named in the popup's title.
void MainWindow::PickNode(int node)
{
    selectedNode = node;
    const QString ip = selectedNode >= 0 ? nodes.At(selectedNode).ip.ToText() : QString();
    popupTitle->setText(ip.isEmpty() ? tr("<< IP = not selected >>") : tr("<< IP = %1 >>").arg(ip));
}

void MainWindow::OnGridPressed(Qt::MouseButton button, QPoint position)
{
    PickNode(GridNodeAt(position));
    if (button == Qt::RightButton)
        popupMenu->popup(nodeGrid->viewport()->mapToGlobal(position));
}

void MainWindow::OnGridMenuKey()
{
    const QModelIndex current = nodeGrid->currentIndex();
    PickNode(gridFilter->NodeIndex(current));
    const QRect row = nodeGrid->visualRect(current);
    popupMenu->popup(nodeGrid->viewport()->mapToGlobal(row.isValid() ? row.center() : QPoint()));
}

void MainWindow::ToggleCaptureCounter()
{
    const bool shown = !captureCounterShown;
    captureCounterShown = shown;
    Q_EMIT captureCounterToggled(shown);
    if (!shown)
        SetPanelText(7, QString());
}

} // namespace keelwatch
