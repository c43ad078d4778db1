#pragma once

#include "config/clock.h"
#include "core/scanevents.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace keelwatch {

// The promiscuous alert window: one line each time a node starts or stops
// answering test addresses. It pops up with every line, without taking the
// focus from the window the user types in, and keeps its lines until
// "Clear", whatever happens to the scan or the node list. A Clear can be
// undone until the next alert.
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

    // View, "Alert": shows and activates the window only when it holds a
    // line or a Clear that can still be undone.
    void ShowIfHoldsLines();

    // "Undo Clear" (Ctrl+Z): puts back the lines the last Clear removed. The
    // next alert drops them for good, so lines never come back out of order.
    void UndoClear();

  Q_SIGNALS:
    // Every line as it is shown, for the tray's notification.
    void alertShown(const QString &line, bool started);
    // The user has put the window away.
    void hidden();

  protected:
    void hideEvent(QHideEvent *event) override;

  private:
    void ClearLines();
    void AppendLine(const QString &line);

    QPlainTextEdit *alertLines;
    QPushButton *undoButton;
    // What the last Clear removed, empty once undone or a new alert came.
    QString clearedLines;
    const Clock &clock;
};

} // namespace keelwatch
