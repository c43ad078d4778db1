#pragma once

#include "config/settings.h"
#include "core/nodetable.h"

#include <QMainWindow>
#include <QStringList>

#include <array>
#include <atomic>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTableView;

namespace keelwatch {

// The main window: range fields, scan buttons, the node table's grid, the
// event pane and the status bar. Every control is a public member named as
// the control, with that objectName. Use it on the main thread only.
class MainWindow : public QMainWindow
{
    Q_OBJECT

  public:
    static constexpr int PanelCount = 8;

    // arguments: the command line without the program name; "auto" in any
    // letter case makes the window wait for the automatic start.
    explicit MainWindow(const QStringList &arguments = {}, QWidget *parent = nullptr);

    NodeTable &Nodes() { return *nodes; }
    const NodeTable &Nodes() const { return *nodes; }

    void SetPanelText(int panel, const QString &text);
    QString PanelText(int panel) const;

    // Scan mode, Packet Number, Scan Timer and Node Timer into panels 1, 3, 4, 5.
    void ShowScanMode(const Settings &settings);

    // From, To, "Start", "Clear", "Save node list" and "Load node list": off
    // while a scan runs or the automatic start is pending.
    void SetScanControlsEnabled(bool enabled);

    // Every node row removed and the event pane emptied.
    void ClearAllNodes();

    // From, To, "Auto Scroll" and "Beep" are settings: shown from a value,
    // and written into one.
    void ApplySettings(const Settings &settings);
    void ReadSettings(Settings &settings) const;

    // Makes a node row the grid's current row, which scrolls it into view.
    void SelectNodeRow(int row);

    // True when "auto" was given: panel 0 shows "AUTO" and the scan controls
    // are off until the automatic start.
    bool AutoStartPending() const { return autoStart; }

    // Top panel
    QFrame *Panel1;
    QGroupBox *GroupBox1;
    QLineEdit *Edit1;     // From
    QLineEdit *Edit2;     // To
    QPushButton *Button1; // Start
    QPushButton *Button2; // Stop
    QPushButton *Button3; // Clear
    QCheckBox *scrollcheck;
    QCheckBox *BeepCheck;
    QLabel *Image1;

    // Middle panel
    QFrame *Panel2;
    QSplitter *Splitter1;
    QTableView *SG;
    QPlainTextEdit *Memo1;

    QStatusBar *SB;

    // Menus
    QAction *savedata1; // File "Save node list"
    QAction *loaddata1; // File "Load node list"
    QAction *Exit1;
    QAction *Setup1;
    QAction *N1; // View "Node viewer"
    QAction *N7; // View "Comment Editor"
    QAction *N8; // View "Alert"
    QAction *About1;
    QMenu *PopupMenu1;
    QAction *PopupTitle;
    QAction *N3; // "Node Viewer"
    QAction *N4; // "Commnet Editor"
    QAction *N5; // "External Command"

    // The node table row the menus act on; the header row until the grid is used.
    int SelectedRow = 0;

    // While set, the capture relay writes its counter into panel 7. Read by
    // the capture relay's thread.
    std::atomic<bool> CaptureCounterShown{false};

  Q_SIGNALS:
    // The grid was double-clicked; SelectedRow is already set.
    void gridDoubleClicked(int row);
    // The window is closing: the Setup dialog saves the settings, then the
    // comments are saved. Connected in that order at start-up.
    void closing();
    void setupRequested();
    // The user changed From, To, "Auto Scroll" or "Beep".
    void rangeOrOptionsEdited();
    void aboutRequested();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void BuildTopPanel();
    void BuildMiddlePanel();
    void BuildStatusBar();
    void BuildMenus();
    void BuildPopupMenu();
    void ApplyColumnWidths();
    void UserResizedColumn(int column, int width);
    int GridRow() const;

    void Edit1Exit();
    void Edit2Exit();
    void Button3MouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    void SGClick();
    void SGDblClick();
    void SGMouseDown(Qt::MouseButton button, QPoint position);
    void Image1DblClick();

    NodeTable *nodes;
    std::array<QLabel *, PanelCount> panels{};
    bool autoStart = false;
    bool applyingWidths = false;
};

} // namespace keelwatch
