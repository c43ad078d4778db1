#pragma once

#include "config/settings.h"

#include <QDialog>

#include <array>
#include <vector>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace keelwatch {

// The Setup dialog: shows a copy of the settings and hands back the edited
// copy. Every change the user makes is announced at once, so the owner can
// take it into the settings model. Use it on the main thread only.
class SetupDialog : public QDialog
{
    Q_OBJECT

  public:
    explicit SetupDialog(QWidget *parent = nullptr);
    ~SetupDialog() override;

    // The adapters of the Network I/F list, listed as "IPv4 : name"; none
    // selected.
    void SetAdapters(const NetworkAdapters &adapters);

    // Shows values; announces nothing. The adapter is selected when it is one
    // of the list's. A field keeps what the user typed while it reads as the
    // value shown.
    void SetValues(const Settings &values);
    // The values last set, with the dialog's edits read from the fields.
    Settings Values() const;

    // The main window's From and To, for the estimated sweep time.
    void ShowRange(const QString &from, const QString &to);

    // "Own PC", "Scan Options" and "Log": off while a scan runs.
    void SetScanGroupsEnabled(bool enabled);

  Q_SIGNALS:
    // The user (or a program acting for them) changed a value.
    void valuesEdited();
    // After valuesEdited: List Mode, Cyclic Scan or a timer field changed.
    void scanModeEdited();
    // After valuesEdited: "Show all" was switched.
    void showAllToggled();
    // The dialog is closed by its window frame: the settings are saved then.
    void closing();
    // After valuesEdited: the user picked an interface, whose address is now
    // the own IP.
    void adapterChosen();

  protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

  private:
    // A field that holds one member of the settings: how its text is read
    // into the settings, how the member is shown, and the rule that puts
    // the field's text in order when the user leaves it (none: kept as
    // typed).
    struct TextBinding
    {
        QLineEdit *field;
        void (*read)(Settings &, const QString &);
        QString (*show)(const Settings &);
        QString (*exitRule)(const QString &) = nullptr;
    };
    struct FlagBinding
    {
        QAbstractButton *button;
        bool Settings::*member;
    };

    QGroupBox *BuildOwnPc();
    QGroupBox *BuildScanOptions();
    QGroupBox *BuildScanMode();
    QGroupBox *BuildLog();
    QGroupBox *BuildExternalCommand();
    void BindControls();

    void Announce(void (SetupDialog::*after)());
    void SetDefaultScanOptions();
    // Node Timer on or off, and the estimated sweep time, from the values.
    void ShowPacing();
    void ChooseLogFile();
    void OnAdapterChosen(int index);
    // The whole contents if the screen has room, else as much as it has.
    void FitToScreen();

    Settings values;
    NetworkAdapters adapters;
    bool showing = false;
    std::vector<TextBinding> textBindings;
    std::vector<FlagBinding> flagBindings;

    // Own PC
    QGroupBox *ownPcGroup;
    QComboBox *adapterList;
    QLineEdit *ownIpField;
    QLineEdit *ownMacField;

    // Scan options
    QGroupBox *scanOptionsGroup;
    std::array<QCheckBox *, TestCount> testChecks{};
    QLineEdit *sp1MacField;
    QLineEdit *sp2MacField;
    QPushButton *setDefaultButton;
    QFrame *formatFrame;
    QRadioButton *ethernetRadio;
    QRadioButton *ieeeRadio;
    QCheckBox *ownIpSenderCheck;
    QGroupBox *scanModeGroup;
    QCheckBox *listModeCheck;
    QCheckBox *cyclicCheck;
    QCheckBox *confirmSuspectsCheck;
    QLineEdit *packetNumberField;
    QLineEdit *scanTimerField;
    QLineEdit *nodeTimerField;
    QLineEdit *sendRateField;
    QLabel *sweepEstimate;

    // Log
    QGroupBox *logGroup;
    QLineEdit *logPathField;
    QPushButton *logChooserButton;
    QRadioButton *tabRadio;
    QRadioButton *commaRadio;
    QCheckBox *syslogCheck;
    QLineEdit *syslogServerField;
    QCheckBox *syslogRfc5424Check;
    QComboBox *syslogTransportBox;
    QLineEdit *syslogCaField;
    QLineEdit *syslogCertField;
    QLineEdit *syslogSpoolField;
    QLineEdit *syslogMaxBytesField;

    // External command
    QGroupBox *commandGroup;
    QComboBox *commandBox;

    QCheckBox *showAllCheck;
    QPushButton *closeButton;
    QWidget *contents;
    bool fitted = false;

    // The log file chooser; kept so that it starts at the last chosen file.
    QFileDialog *logDialog = nullptr;
};

} // namespace keelwatch
