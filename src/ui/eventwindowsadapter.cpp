#include "ui/eventwindowsadapter.h"

#include "report/eventlog.h"
#include "ui/alertmessagewindow.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace keelwatch {

EventWindowsAdapter::EventWindowsAdapter(QPlainTextEdit *pane, AlertMessageWindow *alert,
                                         QWidget *dialogParent)
    : pane(pane), alert(alert), messageBox(MessageBoxSink(dialogParent))
{
    // Nobody edits the pane, and an undo history would keep every line it
    // ever dropped: months of monitoring, or a /16 dropping out, in memory.
    pane->setUndoRedoEnabled(false);
    // The pane's own check looks at where the last line is drawn, so the
    // horizontal scroll bar that a long line brings hides the newest line
    // and ends the following for good. Follow the scroll bar instead.
    QScrollBar *bar = pane->verticalScrollBar();
    scrolled = QObject::connect(bar, &QAbstractSlider::valueChanged, pane,
                                [this, bar](int value) { followNewest = value == bar->maximum(); });
    grown =
        QObject::connect(bar, &QAbstractSlider::rangeChanged, pane, [this, bar](int, int maximum) {
            if (followNewest)
                bar->setValue(maximum);
        });
    // "All clear" empties the pane: lines logged before it must not appear
    // after it.
    cleared = QObject::connect(pane, &QPlainTextEdit::textChanged, pane, [this] {
        if (!flushing)
            DropWaitingLines();
    });
    flushTimer.setSingleShot(true);
    QObject::connect(&flushTimer, &QTimer::timeout, &flushTimer, [this] { FlushPane(); });
}

// The pane may outlive the adapter; it gets the lines still waiting.
EventWindowsAdapter::~EventWindowsAdapter()
{
    QObject::disconnect(cleared);
    FlushPane();
    QObject::disconnect(scrolled);
    QObject::disconnect(grown);
}

int EventWindowsAdapter::PaneLines() const
{
    if (!pane)
        return 0;
    // An empty pane still has one empty block; it holds no line.
    const QTextDocument *document = pane->document();
    return document->isEmpty() ? 0 : document->blockCount();
}

void EventWindowsAdapter::BoundPane(int maxLines)
{
    const int kept = PaneLines() - dropFromPane;
    int excess = kept + int(waitingLines.size()) - maxLines;
    if (excess <= 0)
        return;
    const int fromPane = std::min(excess, kept);
    dropFromPane += fromPane;
    excess -= fromPane;
    for (; excess > 0; --excess)
        waitingLines.pop_front();
    ScheduleFlush();
}

void EventWindowsAdapter::AppendPaneLine(const QString &line)
{
    // Each of these characters starts a new block when the text reaches
    // the pane; the banner's CR LF counts as one.
    const QString text = line.contains(u'\r') ? QString(line).replace(u"\r\n"_s, u"\n"_s) : line;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator) {
            waitingLines.push_back(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    waitingLines.push_back(start == 0 ? text : text.sliced(start));
    ScheduleFlush();
}

void EventWindowsAdapter::ScheduleFlush()
{
    // Restarting a running timer costs more than the line itself.
    if (flushTimer.isActive())
        return;
    const qint64 since = sinceFlush.isValid() ? sinceFlush.elapsed() : FlushIntervalMs;
    flushTimer.start(int(std::max<qint64>(0, FlushIntervalMs - since)));
}

void EventWindowsAdapter::FlushPane()
{
    flushTimer.stop();
    sinceFlush.start();
    // The main window, and the pane with it, may close before the adapter.
    if (!pane || (dropFromPane == 0 && waitingLines.empty()))
        return;
    flushing = true;
    if (dropFromPane > 0) {
        // Selecting by position, not by moving the cursor block by block,
        // spares the layout of the lines that are about to go.
        QTextDocument *document = pane->document();
        QTextCursor cursor(document);
        const QTextBlock firstKept = document->findBlockByNumber(dropFromPane);
        if (firstKept.isValid())
            cursor.setPosition(firstKept.position(), QTextCursor::KeepAnchor);
        else
            cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    if (!waitingLines.empty()) {
        QString text = waitingLines.front();
        for (auto block = waitingLines.begin() + 1; block != waitingLines.end(); ++block)
            text += u'\n' + *block;
        pane->appendPlainText(text);
    }
    DropWaitingLines();
    flushing = false;
}

void EventWindowsAdapter::DropWaitingLines()
{
    dropFromPane = 0;
    waitingLines.clear();
}

void EventWindowsAdapter::Beep()
{
    QApplication::beep();
}

void EventWindowsAdapter::ShowAlertMessage(const QString &text)
{
    alert->ShowAlertMessage(text);
}

void EventWindowsAdapter::ShowMessageBox(const QString &text)
{
    messageBox(text);
}

void EventWindowsAdapter::ShowDeliveryNote(const QString &text)
{
    // Among the events it concerns, as a "#" line like the log's own notes.
    BoundPane(EventLog::PaneLineLimit);
    AppendPaneLine(u"#Syslog\t"_s + text);
}

} // namespace keelwatch
