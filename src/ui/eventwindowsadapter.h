#pragma once

#include "config/addresstext.h"
#include "report/eventwindows.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class QWidget;

namespace keelwatch {

class AlertMessageWindow;

// The event log's view of the windows: the main window's event pane, the
// small alert window, message boxes over the main window (modal to it, but
// not blocking the caller) and the syslog server setting.
//
// The pane is written in batches: lines wait until the event loop runs
// again, then the oldest lines go and the new ones are appended in one
// step, so that thousands of events in one go cost one layout instead of
// one each. While events keep coming the pane takes them at most every
// FlushIntervalMs: nobody reads faster, and each layout of a full pane costs
// more than a turn's events. The pane ends up exactly as if every bound and
// line had reached it at once.
class EventWindowsAdapter : public EventWindows
{
  public:
    static constexpr int FlushIntervalMs = 50;

    EventWindowsAdapter(QPlainTextEdit *pane, AlertMessageWindow *alert, QWidget *dialogParent);
    ~EventWindowsAdapter() override;
    EventWindowsAdapter(const EventWindowsAdapter &) = delete;
    EventWindowsAdapter &operator=(const EventWindowsAdapter &) = delete;

    void BoundPane(int maxLines) override;
    void AppendPaneLine(const QString &line) override;
    void Beep() override;
    void ShowAlertMessage(const QString &text) override;
    void ShowMessageBox(const QString &text) override;
    void ShowDeliveryNote(const QString &text) override;

    // Puts the waiting lines into the pane now.
    void FlushPane();
    bool LinesWaiting() const { return flushTimer.isActive(); }

  private:
    int PaneLines() const;
    void DropWaitingLines();
    void ScheduleFlush();

    // The pane may go before the adapter.
    QPointer<QPlainTextEdit> pane;
    // Lines from the top of the pane to drop, and pane lines to append, at
    // the next flush. At most one bound's worth of lines waits.
    int dropFromPane = 0;
    std::deque<QString> waitingLines;
    QTimer flushTimer;
    QElapsedTimer sinceFlush;
    bool flushing = false;
    // The pane shows its newest line and keeps doing so until the user
    // scrolls back.
    bool followNewest = true;
    QMetaObject::Connection scrolled;
    QMetaObject::Connection grown;
    QMetaObject::Connection cleared;
    AlertMessageWindow *alert;
    MessageSink messageBox;
};

} // namespace keelwatch
