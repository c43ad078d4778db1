#pragma once

#include <functional>

#include "config/addresstext.h"
#include "report/eventwindows.h"

#include <QMetaObject>

class QPlainTextEdit;
class QWidget;

namespace keelwatch {

class AlertMessageWindow;

// The event log's view of the windows: the main window's event pane, the
// small alert window, message boxes over the main window (modal to it, but
// not blocking the caller) and the syslog server setting.
class EventWindowsAdapter : public EventWindows
{
  public:
    // setServerText replaces the syslog server setting and shows it.
    EventWindowsAdapter(QPlainTextEdit *pane, AlertMessageWindow *alert,
                        std::function<void(const QString &)> setServerText, QWidget *dialogParent);
    ~EventWindowsAdapter() override;
    EventWindowsAdapter(const EventWindowsAdapter &) = delete;
    EventWindowsAdapter &operator=(const EventWindowsAdapter &) = delete;

    void BoundPane(int maxLines) override;
    void AppendPaneLine(const QString &line) override;
    void Beep() override;
    void ShowAlertMessage(const QString &text) override;
    void ShowMessageBox(const QString &text) override;
    void SetSyslogServerText(const QString &text) override;

  private:
    QPlainTextEdit *pane;
    // The pane shows its newest line and keeps doing so until the user
    // scrolls back.
    bool followNewest = true;
    QMetaObject::Connection scrolled;
    QMetaObject::Connection grown;
    AlertMessageWindow *alert;
    std::function<void(const QString &)> setServerText;
    MessageSink messageBox;
};

} // namespace keelwatch
