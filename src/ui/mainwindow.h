#pragma once

#include "config/settings.h"
#include "core/nodelist.h"

#include <QMainWindow>
#include <QSize>
#include <QStringList>

#include <array>
#include <memory>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace keelwatch {

class AlertMessageWindow;
class EventWindowsAdapter;
class NodeGrid;
class NodeGridFilter;
class NodeListModel;

// The main window: range fields, scan buttons, the node list's grid, the
// event pane and the status bar. Its controls keep the objectNames users'
// tools and tests look for ("Edit1" is the From field). The window says what
// the user asked for through signals; start-up connects them. Use it on the
// main thread only.
class MainWindow : public QMainWindow
{
    Q_OBJECT

  public:
    static constexpr int PanelCount = 8;
    static constexpr QSize InitialSize{980, 480};

    // arguments: the command line without the program name; "auto" in any
    // letter case makes the window wait for the automatic start.
    // The grid shows nodes; Clear and Shift+Clear change it.
    explicit MainWindow(NodeList &nodes, const QStringList &arguments = {},
                        QWidget *parent = nullptr);

    // From, To, "Auto Scroll" and "Beep" from the settings, and back.
    void ApplySettings(const Settings &settings);
    void ReadSettings(Settings &settings) const;
    // The window's place and size as stored in the settings, and putting
    // them back (nothing when none are stored).
    QString StoredGeometry() const;
    void RestoreGeometry(const QString &stored);
    bool AutoScrollChecked() const;
    // Puts the range into From and To when both are empty, as an edit.
    void OfferRange(const IpRange &range);

    void SetPanelText(int panel, const QString &text);
    // An empty text puts back what the panel shows.
    void SetPanelToolTip(int panel, const QString &text);
    QString PanelText(int panel) const;
    // The running sweep's progress, right of the panels; empty hides it.
    void ShowSweepProgress(const QString &text);

    // Scan mode, Packet Number, Scan Timer and Node Timer (or the send rate
    // while that paces the probes) into panels 1, 3, 4, 5, with their units.
    void ShowScanMode(const Settings &settings);

    // All ten result columns with showAll, else only those of the switched-on
    // tests. Widths the user dragged elsewhere stay.
    void ShowTestColumns(bool showAll, const TestFlags &tests);

    // From, To, "Start", "Clear" and "Load node list": off while a scan runs
    // or the automatic start is pending. Saving and exporting stay on.
    void SetScanControlsEnabled(bool enabled);

    // "Start" and "Stop" as if pressed, for the tray menu: a Start that is
    // off (a scan runs or the automatic start is pending) does nothing.
    void PressStart();
    void PressStop();

    // Every node removed and the event pane emptied.
    void ClearAllNodes();

    // Makes a node's row the grid's current row, which scrolls it into view.
    // The node the menus act on stays until the user presses on a row.
    void ShowNode(int index);

    // The index of the node the menus act on; -1 until the grid is used.
    int SelectedNode() const { return selectedNode; }

    // The selected rows in grid order: as node-list lines, or as
    // TAB-separated cells; each line ended. Empty for none.
    QString SelectedRowsText(bool asNodeList) const;

    // A line in the event pane before the event log writes there: what
    // start-up has to say.
    void AppendPaneNote(const QString &text);
    // The event log's outputs in this window: its event pane, the small
    // alert window and message boxes over this window.
    std::unique_ptr<EventWindowsAdapter> CreateEventWindows(AlertMessageWindow *alert);

    // Whether panel 7 shows the capture relay's counter (a double click on
    // the logo switches it).
    bool CaptureCounterShown() const { return captureCounterShown; }

    // True when "auto" was given: panel 0 shows "AUTO" and the scan controls
    // are off until the automatic start.
    bool AutoStartPending() const { return autoStart; }

  Q_SIGNALS:
    // The user changed From, To, "Auto Scroll" or "Beep".
    void rangeOrOptionsEdited();
    void startRequested();
    void stopRequested();
    void saveNodeListRequested();
    void loadNodeListRequested();
    void exportReportRequested();
    // View, "Node viewer": the window as it is.
    void nodeViewerRequested();
    // The pop-up's "Node Viewer": the history of this node (an index, -1
    // for none).
    void nodeHistoryRequested(int node);
    // The pop-up's "Comment Editor" and View's.
    void commentEditorRequested(int node);
    // The pop-up's "External Command" and a double click on the grid.
    void externalCommandRequested(int node);
    void alertRequested();
    // The capture counter in panel 7 was switched on or off.
    void captureCounterToggled(bool shown);
    void setupRequested();
    void aboutRequested();
    // Help, "Contents" (F1; section empty) or a Result Marks entry
    // ("marks").
    void helpRequested(const QString &section);
    // The window is closing: the settings are saved, then the comments.
    // Connected in that order at start-up.
    void closing();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void BuildTopPanel();
    QFrame *BuildMiddlePanel();
    void BuildStatusBar();
    void BuildMenus();
    void BuildPopupMenu();
    int GridNodeAt(QPoint position) const;

    void CheckRangeField(QLineEdit *field);
    void OnClearPressed(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    void AskClearAllNodes();
    void OnGridClicked(const QModelIndex &index);
    void OnGridDoubleClicked(QPoint position);
    void OnGridPressed(Qt::MouseButton button, QPoint position);
    void OnGridMenuKey();
    void PickNode(int node);
    void ToggleCaptureCounter();
    void CopySelectedRows(bool asNodeList);

    NodeList &nodes;
    NodeListModel *model;
    NodeGridFilter *gridFilter;

    QFrame *topPanel = nullptr;
    QLineEdit *fromField = nullptr;
    QLineEdit *toField = nullptr;
    QPushButton *startButton = nullptr;
    QPushButton *clearButton = nullptr;
    QCheckBox *autoScrollCheck = nullptr;
    QCheckBox *beepCheck = nullptr;
    QLineEdit *filterField = nullptr;
    QCheckBox *suspectsOnlyCheck = nullptr;
    QLabel *logo = nullptr;
    NodeGrid *nodeGrid = nullptr;
    QPlainTextEdit *eventPane = nullptr;
    std::array<QLabel *, PanelCount> panels{};
    QLabel *sweepProgress = nullptr;
    QAction *loadNodeListAction = nullptr;
    QMenu *popupMenu = nullptr;
    QAction *popupTitle = nullptr;

    int selectedNode = -1;
    bool captureCounterShown = false;
    bool autoStart = false;
};

} // namespace keelwatch
