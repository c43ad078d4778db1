#include "ui/eventwindowsadapter.h"

#include "ui/alertmessagewindow.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

using namespace Qt::StringLiterals;

namespace keelwatch {

EventWindowsAdapter::EventWindowsAdapter(QPlainTextEdit *pane, AlertMessageWindow *alert,
                                         std::function<void(const QString &)> setServer,
                                         QWidget *dialogParent)
    : pane(pane), alert(alert), setServerText(std::move(setServer)),
      messageBox(MessageBoxSink(dialogParent))
{
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
}

// The pane may outlive the adapter.
EventWindowsAdapter::~EventWindowsAdapter()
{
    QObject::disconnect(scrolled);
    QObject::disconnect(grown);
}

void EventWindowsAdapter::BoundPane(int maxLines)
{
    QTextDocument *document = pane->document();
    // An empty pane still has one empty block; it holds no line.
    const int lines = document->isEmpty() ? 0 : document->blockCount();
    if (lines <= maxLines)
        return;
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::Start);
    // Dropping every line leaves no next block to move to.
    if (!cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, lines - maxLines))
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void EventWindowsAdapter::AppendPaneLine(const QString &line)
{
    pane->appendPlainText(QString(line).replace(u"\r\n"_s, u"\n"_s));
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

void EventWindowsAdapter::SetSyslogServerText(const QString &text)
{
    setServerText(text);
}

} // namespace keelwatch
