#pragma once

#include "config/clock.h"
#include "core/nodetable.h"

#include <QDialog>

class QPlainTextEdit;

namespace keelwatch {

// The promiscuous alert window: one line each time a node starts or stops
// answering test addresses. It pops up with every line and keeps its lines
// until "Clear", whatever happens to the scan or the node table.
class PromiscuousAlertWindow : public QDialog
{
    Q_OBJECT

  public:
    PromiscuousAlertWindow(const NodeTable &nodes, const Clock &clock, QWidget *parent = nullptr);

    // Appends "<date> <time> Promiscuous START|STOP <IP of the row>" and shows
    // the window.
    void ShowPromiscuousAlert(int row, bool started);

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
    const NodeTable &nodes;
    const Clock &clock;
};

} // namespace keelwatch
