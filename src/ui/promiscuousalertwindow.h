#pragma once

#include "config/clock.h"
#include "core/scanevents.h"

#include <QDialog>

class QPlainTextEdit;

namespace keelwatch {

// The promiscuous alert window: one line each time a node starts or stops
// answering test addresses. It pops up with every line and keeps its lines
// until "Clear", whatever happens to the scan or the node list.
class PromiscuousAlertWindow : public QDialog
{
    Q_OBJECT

  public:
    explicit PromiscuousAlertWindow(const Clock &clock, QWidget *parent = nullptr);

    // Alerts for every promiscuous start and stop of events from now on.
    void Listen(const ScanEvents &events);

    // Appends "<date> <time> Promiscuous START|STOP <IP of the node>" and
    // shows the window.
    void ShowPromiscuousAlert(const Node &node, bool started);

    // View, "Alert": shows the window only when it holds a line.
    void ShowIfHoldsLines();

  Q_SIGNALS:
    // Every line as it is shown, for the tray's notification.
    void alertShown(const QString &line, bool started);
    // The user has put the window away.
    void hidden();

  protected:
    void hideEvent(QHideEvent *event) override;

  private:
    QPlainTextEdit *alertLines;
    const Clock &clock;
};

} // namespace keelwatch
