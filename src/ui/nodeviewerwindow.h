#pragma once

#include "config/addresstext.h"
#include "config/settings.h"
#include "report/nodeviewer.h"

#include <QWidget>

class QLineEdit;
class QPushButton;
class QTableView;

namespace keelwatch {

// The node viewer window: one node's history from the event log, live
// while started. The reading is NodeViewer's; this is its window.
class NodeViewerWindow : public QWidget
{
    Q_OBJECT

  public:
    explicit NodeViewerWindow(const LiveSettings &settings, QWidget *parent = nullptr);

    NodeViewer &Viewer() { return viewer; }
    // Where the viewer's failures go; a message box unless replaced.
    void SetMessageSink(MessageSink sink) { messages = std::move(sink); }

    // The pop-up's "Node Viewer": unless live, follow this IP in this log;
    // then show the window.
    void OpenFor(const QString &ip, const QString &logPath);

  protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // Starts following the IP and the log file in the fields.
    void Start();
    void ChooseLogFile();
    void CheckIpField();
    void SetLiveControls(bool live);
    void SelectRow(int row);

    QLineEdit *ipField;
    QLineEdit *logFileField;
    QPushButton *startButton;
    QPushButton *chooseLogButton;
    QTableView *historyGrid;

    MessageSink messages;
    NodeViewer viewer;
};

} // namespace keelwatch
