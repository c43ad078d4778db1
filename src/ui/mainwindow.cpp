#include "ui/mainwindow.h"

#include "config/addresstext.h"
#include "ui/logo.h"
#include "ui/nodegrid.h"
#include "ui/scanmode.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

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

MainWindow::MainWindow(const QStringList &arguments, QWidget *parent)
    : QMainWindow(parent), nodes(new NodeTable(this))
{
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Keelwatch Ver 3.0"_s);
    QFont font(u"Arial"_s);
    font.setPixelSize(11);
    setFont(font);
    resize(605, 360);
    setMinimumSize(605, 360);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);

    BuildTopPanel();
    BuildMiddlePanel();
    layout->addWidget(Panel1);
    layout->addWidget(Panel2, 1);
    BuildStatusBar();
    BuildMenus();
    BuildPopupMenu();

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, scrollcheck);
    setTabOrder(scrollcheck, BeepCheck);
    setTabOrder(BeepCheck, Memo1);
    setTabOrder(Memo1, SG);

    nodes->SetupNodeTable();
    ApplyColumnWidths();
    Button1->setEnabled(true);
    Button2->setEnabled(true);
    Button3->setEnabled(true);
    SetPanelText(0, u"READY"_s);
    for (const QString &argument : arguments)
        autoStart = autoStart || argument.toLower() == u"auto";
    if (autoStart) {
        SetPanelText(0, u"AUTO"_s);
        SetScanControlsEnabled(false);
    }
}

void MainWindow::BuildTopPanel()
{
    Panel1 = Named(new QFrame, u"Panel1"_s);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFixedHeight(57);

    GroupBox1 = Named(new QGroupBox(u"IP Address Range"_s, Panel1), u"GroupBox1"_s);
    GroupBox1->setGeometry(4, 4, 249, 45);
    auto *from = Named(new QLabel(u"From: "_s, GroupBox1), u"Label1"_s);
    from->setGeometry(6, 19, 30, 16);
    Edit1 = Named(new QLineEdit(GroupBox1), u"Edit1"_s);
    Edit1->setGeometry(36, 16, 85, 21);
    auto *to = Named(new QLabel(u"To: "_s, GroupBox1), u"Label2"_s);
    to->setGeometry(134, 19, 20, 16);
    Edit2 = Named(new QLineEdit(GroupBox1), u"Edit2"_s);
    Edit2->setGeometry(155, 16, 85, 21);

    Button1 = Named(new QPushButton(u"Start"_s, Panel1), u"Button1"_s);
    Button1->setGeometry(262, 5, 81, 21);
    Button2 = Named(new QPushButton(u"Stop"_s, Panel1), u"Button2"_s);
    Button2->setGeometry(262, 30, 41, 21);
    Button3 = Named(new QPushButton(u"Clear"_s, Panel1), u"Button3"_s);
    Button3->setGeometry(310, 32, 33, 17);
    Button3->setToolTip(u"All clear : [shift] & Click"_s);

    scrollcheck = Named(new QCheckBox(u"Auto Scroll"_s, Panel1), u"scrollcheck"_s);
    scrollcheck->setGeometry(350, 7, 74, 17);
    scrollcheck->setChecked(true);
    BeepCheck = Named(new QCheckBox(u"Beep"_s, Panel1), u"BeepCheck"_s);
    BeepCheck->setGeometry(350, 31, 74, 17);

    Image1 = Named(new QLabel(Panel1), u"Image1"_s);
    Image1->setPixmap(DrawLogo());
    Image1->setAttribute(Qt::WA_TranslucentBackground);
    Image1->resize(173, 49);

    for (QWidget *watched : std::initializer_list<QWidget *>{Panel1, Edit1, Edit2, Button3, Image1})
        watched->installEventFilter(this);
    for (QLineEdit *field : {Edit1, Edit2})
        connect(field, &QLineEdit::textChanged, this, &MainWindow::rangeOrOptionsEdited);
    for (QCheckBox *option : {scrollcheck, BeepCheck})
        connect(option, &QCheckBox::toggled, this, &MainWindow::rangeOrOptionsEdited);
}

void MainWindow::BuildMiddlePanel()
{
    Panel2 = Named(new QFrame, u"Panel2"_s);
    Panel2->setMinimumHeight(162);
    auto *layout = new QVBoxLayout(Panel2);
    layout->setContentsMargins(0, 0, 0, 0);

    Splitter1 = Named(new QSplitter(Qt::Vertical, Panel2), u"Splitter1"_s);
    Splitter1->setHandleWidth(2);
    Splitter1->setChildrenCollapsible(false);
    layout->addWidget(Splitter1);

    auto *grid = Named(new NodeGrid(Splitter1), u"SG"_s);
    SG = grid;
    SG->setModel(nodes);
    SG->setSelectionBehavior(QAbstractItemView::SelectRows);
    SG->setSelectionMode(QAbstractItemView::SingleSelection);
    SG->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SG->setShowGrid(true);
    SG->setWordWrap(false);
    SG->verticalHeader()->hide();
    SG->verticalHeader()->setMinimumSectionSize(GridRowHeight);
    SG->verticalHeader()->setDefaultSectionSize(GridRowHeight);
    SG->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    SG->horizontalHeader()->setFixedHeight(GridRowHeight + 2);
    SG->horizontalHeader()->setMinimumSectionSize(1);
    SG->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    SG->horizontalHeader()->setHighlightSections(false);
    SG->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Narrow result columns (24 pixels) must still show "B47" in full.
    SG->horizontalHeader()->setStyleSheet(
        u"QHeaderView::section { padding: 0px 0px 0px 1px; background: #efefef;"
        " border: none; border-right: 1px solid #a0a0a0; border-bottom: 1px solid #a0a0a0; }"_s);

    Memo1 = Named(new QPlainTextEdit(Splitter1), u"Memo1"_s);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setMinimumHeight(EventPaneMinHeight);
    QPalette palette = Memo1->palette();
    palette.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    palette.setColor(QPalette::Text, QColor(0x80, 0x00, 0x00));
    Memo1->setPalette(palette);
    QFont courier(u"Courier New"_s);
    courier.setStyleHint(QFont::TypeWriter);
    courier.setPixelSize(11);
    Memo1->setFont(courier);

    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({150, EventPaneMinHeight});

    connect(nodes, &NodeTable::columnWidthsChanged, this, &MainWindow::ApplyColumnWidths);
    connect(SG->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) { UserResizedColumn(column, width); });
    connect(SG, &QAbstractItemView::clicked, this, &MainWindow::SGClick);
    connect(grid, &NodeGrid::mouseDoubleClicked, this, &MainWindow::SGDblClick);
    connect(grid, &NodeGrid::mousePressed, this, &MainWindow::SGMouseDown);
}

void MainWindow::BuildStatusBar()
{
    SB = Named(new QStatusBar(this), u"SB"_s);
    SB->setSizeGripEnabled(false);
    SB->setFixedHeight(20);
    for (int i = 0; i < PanelCount; ++i) {
        auto *panel = Named(new QLabel(SB), u"SBPanel"_s + QString::number(i));
        panel->setFixedWidth(PanelWidths[size_t(i)]);
        if (i == PanelCount - 1) {
            panel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        } else {
            panel->setAlignment(Qt::AlignCenter);
            panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        }
        SB->addWidget(panel);
        panels[size_t(i)] = panel;
    }
    setStatusBar(SB);
}

void MainWindow::BuildMenus()
{
    QMenu *file = Named(menuBar()->addMenu(u"File"_s), u"File1"_s);
    savedata1 = Named(file->addAction(u"Save node list"_s), u"savedata1"_s);
    loaddata1 = Named(file->addAction(u"Load node list"_s), u"loaddata1"_s);
    file->addSeparator();
    Exit1 = Named(file->addAction(u"Exit"_s), u"Exit1"_s);
    connect(Exit1, &QAction::triggered, this, &QWidget::close);

    Setup1 = Named(menuBar()->addAction(u"Setup"_s), u"Setup1"_s);
    connect(Setup1, &QAction::triggered, this, &MainWindow::setupRequested);

    QMenu *view = Named(menuBar()->addMenu(u"View"_s), u"View1"_s);
    N1 = Named(view->addAction(u"Node viewer"_s), u"N1"_s);
    N7 = Named(view->addAction(u"Comment Editor"_s), u"N7"_s);
    N8 = Named(view->addAction(u"Alert"_s), u"N8"_s);

    QMenu *help = Named(menuBar()->addMenu(u"Help"_s), u"Help1"_s);
    QMenu *marks = Named(help->addMenu(u"Result Marks"_s), u"ResultMarks1"_s);
    for (const QString &mark :
         {u"X :Illegal response(Ethernet)"_s, u"x :Illegal response(IEEE 802.3)"_s,
          u"O :Correct response(Ethernet)"_s, u"o :Correct response(IEEE 802.3)"_s,
          u"+ :Last time response"_s, u"[ ] :Black"_s, u"- :Scan OFF"_s})
        marks->addAction(mark);
    About1 = Named(help->addAction(u"About"_s), u"About1"_s);
    connect(About1, &QAction::triggered, this, &MainWindow::aboutRequested);
}

void MainWindow::BuildPopupMenu()
{
    PopupMenu1 = Named(new QMenu(this), u"PopupMenu1"_s);
    PopupTitle = Named(PopupMenu1->addAction(u"<< IP = not selected >>"_s), u"PopupTitle"_s);
    PopupTitle->setEnabled(false);
    PopupMenu1->addSeparator();
    N3 = Named(PopupMenu1->addAction(u"Node Viewer"_s), u"N3"_s);
    N4 = Named(PopupMenu1->addAction(u"Commnet Editor"_s), u"N4"_s);
    N5 = Named(PopupMenu1->addAction(u"External Command"_s), u"N5"_s);
}

void MainWindow::SetPanelText(int panel, const QString &text)
{
    if (panel >= 0 && panel < PanelCount)
        panels[size_t(panel)]->setText(text);
}

QString MainWindow::PanelText(int panel) const
{
    return panel >= 0 && panel < PanelCount ? panels[size_t(panel)]->text() : QString();
}

void MainWindow::ShowScanMode(const Settings &settings)
{
    SetPanelText(1, ScanModeText(settings.listMode, settings.cyclic));
    SetPanelText(3, settings.packetNumber);
    SetPanelText(4, settings.scanTimer);
    SetPanelText(5, settings.nodeTimer);
}

void MainWindow::SetScanControlsEnabled(bool enabled)
{
    for (QWidget *control : std::initializer_list<QWidget *>{Edit1, Edit2, Button1, Button3})
        control->setEnabled(enabled);
    savedata1->setEnabled(enabled);
    loaddata1->setEnabled(enabled);
}

void MainWindow::ClearAllNodes()
{
    nodes->ClearAllNodes();
    Memo1->clear();
}

void MainWindow::ApplySettings(const Settings &settings)
{
    if (Edit1->text() != settings.from)
        Edit1->setText(settings.from);
    if (Edit2->text() != settings.to)
        Edit2->setText(settings.to);
    scrollcheck->setChecked(settings.autoScroll);
    BeepCheck->setChecked(settings.beep);
}

void MainWindow::ReadSettings(Settings &settings) const
{
    settings.from = Edit1->text();
    settings.to = Edit2->text();
    settings.autoScroll = scrollcheck->isChecked();
    settings.beep = BeepCheck->isChecked();
}

void MainWindow::SelectNodeRow(int row)
{
    SG->selectRow(row - 1);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusOut:
        if (watched == Edit1)
            Edit1Exit();
        else if (watched == Edit2)
            Edit2Exit();
        break;
    case QEvent::MouseButtonPress:
        if (watched == Button3) {
            const auto *press = static_cast<QMouseEvent *>(event);
            Button3MouseDown(press->buttons(), press->modifiers());
        }
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == Image1)
            Image1DblClick();
        break;
    case QEvent::Resize:
        if (watched == Panel1)
            Image1->move(Panel1->width() - Image1->width() - 4, 4);
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    Q_EMIT closing();
    event->accept();
}

void MainWindow::ApplyColumnWidths()
{
    applyingWidths = true;
    for (int column = 0; column < NodeTable::ColumnCount; ++column) {
        const int width = nodes->ColumnWidth(column);
        SG->setColumnHidden(column, width < 0);
        if (width >= 0)
            SG->setColumnWidth(column, width);
    }
    applyingWidths = false;
}

// The user's widths are kept, so the next ShowTestColumns does not undo them.
void MainWindow::UserResizedColumn(int column, int width)
{
    if (!applyingWidths && width > 0 && !SG->isColumnHidden(column))
        nodes->SetColumnWidth(column, width);
}

// The grid always has a current row below the header, as the trailing row
// exists even in an empty table.
int MainWindow::GridRow() const
{
    const QModelIndex current = SG->currentIndex();
    return current.isValid() ? current.row() + 1 : 1;
}

void MainWindow::Edit1Exit()
{
    Edit1->setText(ValidIpText(Edit1->text()));
}

void MainWindow::Edit2Exit()
{
    Edit2->setText(ValidIpText(Edit2->text()));
}

// Shift with the left button and nothing else removes every node; any other
// press clears only the marks.
void MainWindow::Button3MouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    if (!Button3->isEnabled())
        return;
    if (buttons == Qt::LeftButton && modifiers == Qt::ShiftModifier)
        ClearAllNodes();
    else
        nodes->ClearResults();
}

void MainWindow::SGClick()
{
    SelectedRow = GridRow();
}

void MainWindow::SGDblClick()
{
    SelectedRow = GridRow();
    Q_EMIT gridDoubleClicked(SelectedRow);
}

void MainWindow::SGMouseDown(Qt::MouseButton button, QPoint position)
{
    SelectedRow = GridRow();
    const QString ip = nodes->Cell(SelectedRow, NodeTable::IpColumn);
    PopupTitle->setText(ip.isEmpty() ? u"<< IP = not selected >>"_s
                                     : u"<< IP = "_s + ip + u" >>"_s);
    if (button == Qt::RightButton)
        PopupMenu1->popup(SG->viewport()->mapToGlobal(position));
}

void MainWindow::Image1DblClick()
{
    const bool shown = !CaptureCounterShown.load();
    CaptureCounterShown.store(shown);
    if (!shown)
        SetPanelText(7, QString());
}

} // namespace keelwatch
