#pragma once

#include "config/settings.h"
#include "core/nodetable.h"

#include <QMainWindow>
#include <QSize>
#include <QStringList>

#include <array>
#include <atomic>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace keelwatch {

class NodeGrid;
class NodeGridFilter;

// The main window: range fields, scan buttons, the node table's grid, the
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
    explicit MainWindow(const QStringList &arguments = {}, QWidget *parent = nullptr);

    NodeTable &Nodes() { return *nodes; }
    const NodeTable &Nodes() const { return *nodes; }

    // From, To, "Auto Scroll" and "Beep" from the settings, and back.
    void ApplySettings(const Settings &settings);
    void ReadSettings(Settings &settings) const;
    // The window's place and size as stored in the settings, and putting
    // them back (nothing when none are stored).
    QString StoredGeometry() const;
    void RestoreGeometry(const QString &stored);
    bool AutoScrollChecked() const;

    void SetPanelText(int panel, const QString &text);
    void SetPanelToolTip(int panel, const QString &text);
    QString PanelText(int panel) const;
    // The running sweep's progress, right of the panels; empty hides it.
    void ShowSweepProgress(const QString &text);

    // Scan mode, Packet Number, Scan Timer and Node Timer into panels 1, 3, 4, 5.
    void ShowScanMode(const Settings &settings);

    // All ten result columns with showAll, else only those of the switched-on
    // tests. Widths the user dragged elsewhere stay.
    void ShowTestColumns(bool showAll, const NodeTable::Tests &tests);

    // From, To, "Start", "Clear", "Save node list" and "Load node list": off
    // while a scan runs or the automatic start is pending.
    void SetScanControlsEnabled(bool enabled);

    // Every node row removed and the event pane emptied.
    void ClearAllNodes();

    // Makes a node row the grid's current row, which scrolls it into view.
    // The row the menus act on stays until the user picks another.
    void SelectNodeRow(int row);

    // The node table row the menus act on; the header row until the grid is used.
    int SelectedRow() const { return selectedRow; }

    // The selected rows in grid order, trailing row left out: as node-list
    // lines, or as TAB-separated cells; each line ended. Empty for none.
    QString SelectedRowsText(bool asNodeList) const;

    // Where the event log writes its lines.
    QPlainTextEdit *EventPane() const { return eventPane; }

    // While set, the capture relay writes its counter into panel 7. Read by
    // the capture relay's thread.
    std::atomic<bool> &CaptureCounterShown() { return captureCounterShown; }

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
    // View, "Node viewer": the window as it is.
    void nodeViewerRequested();
    // The pop-up's "Node Viewer": the history of this row's node.
    void nodeHistoryRequested(int row);
    // The pop-up's "Commnet Editor" and View, "Comment Editor".
    void commentEditorRequested(int row);
    // The pop-up's "External Command" and a double click on the grid.
    void externalCommandRequested(int row);
    void alertRequested();
    void setupRequested();
    void aboutRequested();
    // The window is closing: the settings are saved, then the comments.
    // Connected in that order at start-up.
    void closing();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void BuildTopPanel();
    QFrame *BuildMiddlePanel();
    void BuildStatusBar();
    void BuildMenus();
    void BuildPopupMenu();
    int GridRow() const;

    void CheckRangeField(QLineEdit *field);
    void OnClearPressed(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    void OnGridClicked();
    void OnGridDoubleClicked();
    void OnGridPressed(Qt::MouseButton button, QPoint position);
    void ToggleCaptureCounter();
    void CopySelectedRows(bool asNodeList);

    NodeTable *nodes;
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
    QAction *saveNodeListAction = nullptr;
    QAction *loadNodeListAction = nullptr;
    QMenu *popupMenu = nullptr;
    QAction *popupTitle = nullptr;

    int selectedRow = 0;
    std::atomic<bool> captureCounterShown{false};
    bool autoStart = false;
};

} // namespace keelwatch
