#pragma once

#include "config/addresstext.h"
#include "config/settings.h"
#include "config/settingsstore.h"

#include <QDialog>
#include <QHash>

#include <array>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace keelwatch {

class MainWindow;

// The Setup dialog. Its controls, with the main window's From, To, "Auto
// Scroll" and "Beep", are the program's settings: Read() takes them as one
// value, and the settings store loads and saves them by value name. Every
// control is a public member named as the control, with that objectName.
// Use it on the main thread only.
class SetupDialog : public QDialog, public LiveSettings, public SettingsControls
{
    Q_OBJECT

  public:
    explicit SetupDialog(MainWindow *form1);

    // LiveSettings
    Settings Read() const override;

    // The adapter items ("IPv4 : name") of the Network I/F list; none selected.
    void SetAdapterItems(const QStringList &items);
    // The packet driver's name and version into status panel 7.
    void ShowDriverVersion(const QString &text);

    // The ten result columns of the node table: all with Show all, else
    // those of the switched-on test addresses.
    void ShowTestColumns();
    // "Own PC", "Scan Options" and "Log": off while a scan runs.
    void SetScanGroupsEnabled(bool enabled);

    // Restores every control from the user's settings file, then the columns.
    void LoadSettings();
    // Writes every control to the settings file; a failure is reported.
    void SaveSettings();
    // Where a failed save is reported; a message box unless replaced.
    MessageSink saveFailed;

    // The check boxes of the ten test addresses, in the order Br, B47, B16,
    // B8, Gr, M0, M1, M3, SP1, SP2.
    std::array<QCheckBox *, TestCount> TestBoxes() const;

    // SettingsControls
    QString Text(QStringView value) const override;
    void SetText(QStringView value, const QString &text) override;
    bool Flag(QStringView value) const override;
    void SetFlag(QStringView value, bool on) override;
    QStringList AdapterItems() const override;
    int AdapterIndex() const override;
    void SetAdapterIndex(int index) override;

    // Own PC
    QGroupBox *GroupBox1;
    QComboBox *CB1;
    QLineEdit *Edit1; // IP Address
    QLineEdit *Edit2; // MAC Address

    // Scan Options
    QGroupBox *f16;
    QCheckBox *fbr;
    QCheckBox *f31;
    QCheckBox *f016;
    QCheckBox *f8;
    QCheckBox *fg;
    QCheckBox *fm;
    QCheckBox *M1;
    QCheckBox *M2;
    QCheckBox *fs1;
    QCheckBox *fs2;
    QLineEdit *Edit5;     // SP1 address
    QLineEdit *Edit6;     // SP2 address
    QPushButton *Button2; // Set Default
    QFrame *FramePanel;
    QRadioButton *RB1;
    QRadioButton *RB2;
    QGroupBox *GroupBox3; // Scan Mode
    QCheckBox *FastScan;
    QCheckBox *Cyclicscan;
    QLineEdit *Edit4; // Packet Number
    QLineEdit *Edit3; // Scan Timer
    QLineEdit *Edit8; // Node Timer

    // Log
    QGroupBox *GroupBox4;
    QLineEdit *logpath;
    QPushButton *Button3; // log file chooser
    QRadioButton *RB_dtab;
    QRadioButton *RB_dcom;
    QCheckBox *SYSLOG_CHK;
    QLineEdit *Edit9; // Server IP

    // External command
    QGroupBox *GroupBox2;
    QComboBox *Edit7;

    QCheckBox *showall;
    QPushButton *Button1; // Close

    // The log file chooser; kept so that it starts at the last chosen file.
    QFileDialog *LogDialog = nullptr;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void BuildOwnPc();
    void BuildScanOptions();
    void BuildScanMode();
    void BuildLog();
    void BuildExternalCommand();
    void ConnectHandlers();

    void FieldExit(QLineEdit *field);
    void ShowScanMode();
    void Button2Click();
    void Button3Click();

    MainWindow *form1;
    QHash<QString, QLineEdit *> storedFields;
    QHash<QString, QAbstractButton *> storedFlags;
};

} // namespace keelwatch
