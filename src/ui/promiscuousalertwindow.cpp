#include "ui/promiscuousalertwindow.h"

#include "report/eventline.h"
#include "ui/themecolours.h"

#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// Red that reads on the widget's own background, light or dark.
void PaintRed(QWidget *widget, QPalette::ColorRole role)
{
    QPalette palette = widget->palette();
    palette.setColor(role, AlertRed(palette));
    widget->setPalette(palette);
}

} // namespace

PromiscuousAlertWindow::PromiscuousAlertWindow(const Clock &clock, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      clock(clock)
{
    setObjectName(u"TForm10"_s);
    // An alert must not take the keys typed in another window: an Enter
    // meant elsewhere would press a button here.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(tr("Alert"));

    auto *warningIcon = new QLabel(this);
    warningIcon->setObjectName(u"Image1"_s);
    warningIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));

    auto *title = new QLabel(tr("Detect Promiscuous Node"), this);
    title->setObjectName(u"Label1"_s);
    title->setFont(ScaledFont(font(), 1.7, true));
    PaintRed(title, QPalette::WindowText);

    alertLines = new QPlainTextEdit(this);
    alertLines->setObjectName(u"Memo1"_s);
    alertLines->setReadOnly(true);
    alertLines->setLineWrapMode(QPlainTextEdit::NoWrap);
    alertLines->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    alertLines->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    alertLines->setFont(ScaledFont(font(), 1.15, false));
    PaintRed(alertLines, QPalette::Text);
    // A whole line in the desktop's font, beside the scroll bar.
    alertLines->setMinimumWidth(alertLines->fontMetrics().horizontalAdvance(
                                    u"06/Dec/2026 22:15:07 Promiscuous START 255.255.255.255"_s) +
                                style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16);

    auto *clearButton = new QPushButton(tr("&Clear"), this);
    clearButton->setObjectName(u"Button1"_s);
    clearButton->setAutoDefault(false);
    connect(clearButton, &QPushButton::clicked, this, &PromiscuousAlertWindow::ClearLines);

    undoButton = new QPushButton(tr("&Undo Clear"), this);
    undoButton->setObjectName(u"UndoClear"_s);
    undoButton->setAutoDefault(false);
    undoButton->setEnabled(false);
    undoButton->setToolTip(tr("Ctrl+Z: the lines the last Clear removed, until the next alert"));
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, this,
            &PromiscuousAlertWindow::UndoClear);
    connect(undoButton, &QPushButton::clicked, this, &PromiscuousAlertWindow::UndoClear);

    // Enter only ever puts the window away.
    auto *closeButton = new QPushButton(tr("Close"), this);
    closeButton->setObjectName(u"Button2"_s);
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);

    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(warningIcon);
    titleRow->addWidget(title, 1);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(clearButton);
    buttonRow->addWidget(undoButton);
    buttonRow->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(titleRow);
    layout->addWidget(alertLines, 1);
    layout->addLayout(buttonRow);
    // A minimum set by hand overrides the layout's, so a longer title, as
    // a translation brings, widens it.
    setMinimumSize(QSize(384, 233).expandedTo(layout->minimumSize()));
}

void PromiscuousAlertWindow::Listen(const ScanEvents &events)
{
    connect(&events, &ScanEvents::promiscuousStarted, this,
            [this](const Node &node) { ShowPromiscuousAlert(node, true); });
    connect(&events, &ScanEvents::promiscuousStopped, this,
            [this](const Node &node) { ShowPromiscuousAlert(node, false); });
}

void PromiscuousAlertWindow::ShowPromiscuousAlert(const Node &node, bool started)
{
    const QString line = PromiscuousAlertLine(clock.Now(), started, node.ip.ToText());
    AppendLine(line);
    show();
    raise();
    Q_EMIT alertShown(line, started);
}

void PromiscuousAlertWindow::ShowIfHoldsLines()
{
    if (!alertLines->document()->isEmpty() || !clearedLines.isEmpty()) {
        show();
        raise();
        activateWindow();
    }
}

void PromiscuousAlertWindow::AppendLine(const QString &line)
{
    clearedLines.clear();
    undoButton->setEnabled(false);
    alertLines->appendPlainText(line);
    // Lines are read from their date on.
    alertLines->horizontalScrollBar()->setValue(0);
}

void PromiscuousAlertWindow::ClearLines()
{
    if (alertLines->document()->isEmpty())
        return;
    clearedLines = alertLines->toPlainText();
    alertLines->clear();
    undoButton->setEnabled(true);
}

void PromiscuousAlertWindow::UndoClear()
{
    if (clearedLines.isEmpty())
        return;
    alertLines->setPlainText(clearedLines);
    clearedLines.clear();
    undoButton->setEnabled(false);
}

void PromiscuousAlertWindow::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        Q_EMIT hidden();
}

} // namespace keelwatch
