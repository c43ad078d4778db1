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
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace keelwatch {

NodeViewerWindow::NodeViewerWindow(const LiveSettings &settings, QWidget *parent)
    : QWidget(parent, Qt::Window), messages(MessageBoxSink(this)),
      viewer(settings, [this](const QString &text) { messages(text); })
{
    setObjectName(u"TForm8"_s);
    setWindowTitle(viewer.Caption());
    setMinimumSize(468, 200);
    resize(468, 468);

    Edit1 = new QLineEdit(this);
    Edit2 = new QLineEdit(this);
    Button1 = new QPushButton(u"Start"_s, this);
    Button4 = new QPushButton(u"Stop"_s, this);
    Button3 = new QPushButton(u"Clear"_s, this);
    Button2 = new QPushButton(u"..."_s, this);
    SG2 = new QTableView(this);
    Edit1->setObjectName(u"Edit1"_s);
    Edit2->setObjectName(u"Edit2"_s);
    Button1->setObjectName(u"Button1"_s);
    Button2->setObjectName(u"Button2"_s);
    Button3->setObjectName(u"Button3"_s);
    Button4->setObjectName(u"Button4"_s);
    SG2->setObjectName(u"SG2"_s);
    // The main window's small face, so that a date and time fit the TIME
    // column and the test titles their narrow ones.
    QFont font(u"Arial"_s);
    font.setPixelSize(11);
    setFont(font);
    Edit1->setMinimumWidth(Edit1->fontMetrics().horizontalAdvance(u"255.255.255.255"_s) + 8);
    Button1->setMaximumWidth(44);
    Button4->setMaximumWidth(44);
    Button3->setMaximumWidth(40);
    Button2->setMaximumWidth(24);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(u"IP Address: "_s, this));
    top->addWidget(Edit1, 1);
    top->addWidget(Button1);
    top->addWidget(Button4);
    top->addWidget(Button3);
    top->addWidget(new QLabel(u"LogFile: "_s, this));
    top->addWidget(Edit2, 2);
    top->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(top);
    layout->addWidget(SG2, 1);

    SG2->setModel(&viewer.Grid());
    SG2->setSelectionBehavior(QAbstractItemView::SelectRows);
    SG2->setSelectionMode(QAbstractItemView::SingleSelection);
    SG2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SG2->horizontalHeader()->setMinimumSectionSize(8);
    // Whole-row selection would set every title in bold, too wide for them.
    SG2->horizontalHeader()->setHighlightSections(false);
    SG2->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SG2->verticalHeader()->hide();
    SG2->verticalHeader()->setDefaultSectionSize(16);

    Edit1->installEventFilter(this);
    connect(Button1, &QPushButton::clicked, this, &NodeViewerWindow::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &NodeViewerWindow::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &NodeViewerWindow::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &NodeViewerWindow::Button4Click);
    connect(&viewer, &NodeViewer::liveChanged, this, &NodeViewerWindow::SetLiveControls);
    connect(&viewer, &NodeViewer::captionChanged, this, &QWidget::setWindowTitle);
    connect(&viewer, &NodeViewer::hideRequested, this, &QWidget::hide);
    connect(&viewer, &NodeViewer::latestRowSelected, this, &NodeViewerWindow::SelectRow);
    connect(&viewer, &NodeViewer::followedFieldsRestored, this,
            [this](const QString &ip, const QString &path) {
                Edit1->setText(ip);
                Edit2->setText(path);
            });
}

void NodeViewerWindow::OpenFor(const QString &ip, const QString &logPath)
{
    if (!viewer.IsLive()) {
        Edit1->setText(ip);
        Edit2->setText(logPath);
    }
    show();
    raise();
    activateWindow();
}

void NodeViewerWindow::Button1Click()
{
    Edit1Exit();
    viewer.Start(Edit1->text(), Edit2->text());
}

void NodeViewerWindow::Button2Click()
{
    auto *dialog = new QFileDialog(this, QString(), Edit2->text());
    dialog->setObjectName(u"OpenDialog1"_s);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(u"log"_s);
    dialog->setNameFilters({u"LOG (*.log)"_s, u"TEXT (*.txt)"_s});
    connect(dialog, &QFileDialog::fileSelected, Edit2, &QLineEdit::setText);
    dialog->open();
}

void NodeViewerWindow::Button3Click()
{
    viewer.Clear();
}

void NodeViewerWindow::Button4Click()
{
    viewer.Stop();
}

void NodeViewerWindow::Edit1Exit()
{
    Edit1->setText(ValidIpText(Edit1->text()));
}

void NodeViewerWindow::showEvent(QShowEvent *event)
{
    for (int c = 0; c < NodeViewerGrid::ColumnCount; ++c)
        SG2->setColumnWidth(c, NodeViewerGrid::ColumnWidths[size_t(c)]);
    SG2->setColumnHidden(NodeViewerGrid::ColumnCount - 1, true);
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
    if (watched == Edit1 && event->type() == QEvent::FocusOut)
        Edit1Exit();
    return QWidget::eventFilter(watched, event);
}

void NodeViewerWindow::SetLiveControls(bool live)
{
    Button1->setEnabled(!live);
    Button2->setEnabled(!live);
    Edit1->setEnabled(!live);
    Edit2->setEnabled(!live);
}

void NodeViewerWindow::SelectRow(int row)
{
    // Grid row 0 holds the titles, so the model's rows start at grid row 1.
    if (row < 1)
        return;
    SG2->selectRow(row - 1);
    SG2->scrollTo(viewer.Grid().index(row - 1, 0));
}

} // namespace keelwatch
