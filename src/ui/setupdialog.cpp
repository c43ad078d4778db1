#include "ui/setupdialog.h"

#include "config/addresstext.h"
#include "config/settingsstore.h"
#include "config/setuprules.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <utility>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

template <typename Widget> Widget *Place(Widget *widget, const QString &name, QRect geometry)
{
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

void AddLabel(QWidget *parent, const QString &text, int x, int y)
{
    auto *label = new QLabel(text, parent);
    label->move(x, y);
}

QPushButton *Button(const QString &caption, QWidget *parent, const QString &name, QRect geometry)
{
    auto *button = Place(new QPushButton(caption, parent), name, geometry);
    // Enter in a field must not press "Set Default" or "Close".
    button->setAutoDefault(false);
    return button;
}

QLineEdit *MacField(QWidget *parent, const QString &name, QRect geometry)
{
    auto *field = Place(new QLineEdit(parent), name, geometry);
    field->setMaxLength(MacFieldLength);
    return field;
}

// Unchecking a radio button by program leaves the others of its group as
// they are, so both delimiter choices may end up off.
void SetRadio(QRadioButton *radio, bool on)
{
    if (on) {
        radio->setChecked(true);
        return;
    }
    radio->setAutoExclusive(false);
    radio->setChecked(false);
    radio->setAutoExclusive(true);
}

const QStringList CommandPresets = {
    u"cmd /K nbtstat -A $IP"_s,
    u"net send $IP \"Don't Sniff\""_s,
    u"cmd /K ping $IP"_s,
    u"explorer \\\\$IP"_s,
    u"x-terminal-emulator -e ping $IP"_s,
    u"x-terminal-emulator -e nmblookup -A $IP"_s,
    u"xdg-open smb://$IP/"_s,
};

} // namespace

SetupDialog::SetupDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"Form2"_s);
    setWindowTitle(u"Setup"_s);
    QFont font(u"Arial"_s);
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(390, 527);

    BuildOwnPc();
    BuildScanOptions();
    BuildLog();
    BuildExternalCommand();
    showAllCheck = Place(new QCheckBox(u"Show all"_s, this), u"showall"_s, QRect(312, 104, 68, 16));
    closeButton = Button(u"Close"_s, this, u"Button1"_s, QRect(302, 494, 80, 25));
    BindControls();
    SetValues(values);
}

void SetupDialog::BuildOwnPc()
{
    ownPcGroup = Place(new QGroupBox(u"Own PC"_s, this), u"GroupBox1"_s, QRect(8, 6, 374, 92));
    AddLabel(ownPcGroup, u"Network I/F"_s, 10, 21);
    adapterList = Place(new QComboBox(ownPcGroup), u"CB1"_s, QRect(84, 17, 280, 21));
    AddLabel(ownPcGroup, u"IP Address"_s, 10, 45);
    ownIpField = Place(new QLineEdit(ownPcGroup), u"Edit1"_s, QRect(84, 41, 110, 21));
    AddLabel(ownPcGroup, u"MAC Address"_s, 10, 69);
    ownMacField = MacField(ownPcGroup, u"Edit2"_s, QRect(84, 65, 110, 21));
    AddLabel(ownPcGroup, u"- F"_s, 198, 69);
}

void SetupDialog::BuildScanOptions()
{
    scanOptionsGroup =
        Place(new QGroupBox(u"Scan Options"_s, this), u"f16"_s, QRect(8, 104, 374, 204));

    // The fixed addresses: five on the first line, three on the second.
    // SP1 and SP2 share the third line with the fields of their addresses.
    for (int i = 0; i < TestCount; ++i) {
        const TestAddress &test = TestAddresses[size_t(i)];
        const bool own = test.column == Sp1Column || test.column == Sp2Column;
        const QRect geometry = own ? QRect(test.column == Sp1Column ? 10 : 184, 63, 40, 16)
                                   : QRect(10 + (i % 5) * 50, i < 5 ? 20 : 40, 48, 16);
        auto *box = Place(new QCheckBox(QString::fromUtf16(test.label), scanOptionsGroup),
                          QString::fromUtf16(test.checkBox), geometry);
        if (!own)
            box->setToolTip(QString::fromUtf16(test.destination).replace(u' ', u':'));
        testChecks[size_t(i)] = box;
    }
    sp1MacField = MacField(scanOptionsGroup, u"Edit5"_s, QRect(52, 61, 110, 21));
    sp2MacField = MacField(scanOptionsGroup, u"Edit6"_s, QRect(226, 61, 110, 21));
    setDefaultButton =
        Button(u"Set Default"_s, scanOptionsGroup, u"Button2"_s, QRect(276, 22, 88, 25));

    formatFrame = Place(new QFrame(scanOptionsGroup), u"FramePanel"_s, QRect(10, 88, 354, 24));
    formatFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ethernetRadio = Place(new QRadioButton(u"Ethernet  ( Mark : O/X )"_s, formatFrame), u"RB1"_s,
                          QRect(8, 4, 160, 16));
    ieeeRadio = Place(new QRadioButton(u"IEEE 802.3 ( Mark : o/x )"_s, formatFrame), u"RB2"_s,
                      QRect(184, 4, 164, 16));

    BuildScanMode();
}

void SetupDialog::BuildScanMode()
{
    scanModeGroup = Place(new QGroupBox(u"Scan Mode"_s, scanOptionsGroup), u"GroupBox3"_s,
                          QRect(10, 116, 354, 82));
    listModeCheck =
        Place(new QCheckBox(u"List Mode"_s, scanModeGroup), u"FastScan"_s, QRect(10, 20, 90, 16));
    cyclicCheck = Place(new QCheckBox(u"Cyclic Scan"_s, scanModeGroup), u"Cyclicscan"_s,
                        QRect(10, 41, 90, 16));
    confirmSuspectsCheck = Place(new QCheckBox(u"Confirm suspects"_s, scanModeGroup),
                                 u"ConfirmSuspects"_s, QRect(10, 62, 108, 16));
    AddLabel(scanModeGroup, u"Packet Number"_s, 120, 20);
    packetNumberField = Place(new QLineEdit(scanModeGroup), u"Edit4"_s, QRect(200, 17, 44, 19));
    AddLabel(scanModeGroup, u"(1-10)"_s, 250, 20);
    AddLabel(scanModeGroup, u"Scan Timer"_s, 120, 40);
    scanTimerField = Place(new QLineEdit(scanModeGroup), u"Edit3"_s, QRect(200, 37, 44, 19));
    AddLabel(scanModeGroup, u"Sec"_s, 250, 40);
    AddLabel(scanModeGroup, u"(1-60)"_s, 274, 40);
    AddLabel(scanModeGroup, u"Node Timer"_s, 120, 60);
    nodeTimerField = Place(new QLineEdit(scanModeGroup), u"Edit8"_s, QRect(200, 57, 44, 19));
    AddLabel(scanModeGroup, u"ms ( 0-60000 )"_s, 250, 60);
}

void SetupDialog::BuildLog()
{
    logGroup = Place(new QGroupBox(u"Log"_s, this), u"GroupBox4"_s, QRect(8, 314, 374, 98));
    AddLabel(logGroup, u"Log File"_s, 10, 21);
    logPathField = Place(new QLineEdit(logGroup), u"logpath"_s, QRect(60, 17, 270, 21));
    logChooserButton = Button(u"..."_s, logGroup, u"Button3"_s, QRect(334, 17, 30, 21));
    AddLabel(logGroup, u"Delimiter option"_s, 10, 46);
    tabRadio =
        Place(new QRadioButton(u"TAB (0x09)"_s, logGroup), u"RB_dtab"_s, QRect(100, 45, 90, 16));
    commaRadio =
        Place(new QRadioButton(u"Comma (0x2c)"_s, logGroup), u"RB_dcom"_s, QRect(196, 45, 100, 16));
    syslogCheck =
        Place(new QCheckBox(u"Send Syslog"_s, logGroup), u"SYSLOG_CHK"_s, QRect(10, 72, 90, 16));
    AddLabel(logGroup, u"Server IP"_s, 120, 73);
    syslogServerField = Place(new QLineEdit(logGroup), u"Edit9"_s, QRect(176, 69, 110, 21));
}

void SetupDialog::BuildExternalCommand()
{
    commandGroup =
        Place(new QGroupBox(u"External command"_s, this), u"GroupBox2"_s, QRect(8, 416, 374, 70));
    AddLabel(commandGroup, u"Command Line: "_s, 10, 20);
    AddLabel(commandGroup, u"[ $IP : IP Address      $MAC : MAC Address ]"_s, 100, 20);
    commandBox = Place(new QComboBox(commandGroup), u"Edit7"_s, QRect(10, 38, 354, 22));
    commandBox->setEditable(true);
    commandBox->setInsertPolicy(QComboBox::NoInsert);
    commandBox->addItems(CommandPresets);
    commandBox->setCurrentIndex(-1);
}

void SetupDialog::BindControls()
{
    textBindings = {
        {ownIpField, &Settings::ownIp},
        {ownMacField, &Settings::ownMac},
        {sp1MacField, &Settings::sp1Mac},
        {sp2MacField, &Settings::sp2Mac},
        {scanTimerField, &Settings::scanTimer},
        {packetNumberField, &Settings::packetNumber},
        {nodeTimerField, &Settings::nodeTimer},
        {logPathField, &Settings::logPath},
        {syslogServerField, &Settings::syslogServer},
    };
    flagBindings = {
        {listModeCheck, &Settings::listMode},
        {cyclicCheck, &Settings::cyclic},
        {confirmSuspectsCheck, &Settings::confirmSuspects},
        {syslogCheck, &Settings::syslog},
        {showAllCheck, &Settings::showAll},
    };

    // What else a change affects: the scan mode panels, or the columns.
    const auto follow = [this](QObject *control) -> void (SetupDialog::*)() {
        if (control == listModeCheck || control == cyclicCheck || control == scanTimerField ||
            control == packetNumberField || control == nodeTimerField)
            return &SetupDialog::scanModeEdited;
        if (control == showAllCheck)
            return &SetupDialog::showAllToggled;
        return nullptr;
    };
    for (const TextBinding &binding : textBindings)
        connect(binding.field, &QLineEdit::textChanged, this,
                [this, after = follow(binding.field)] { Announce(after); });
    std::vector<QAbstractButton *> buttons{ethernetRadio, ieeeRadio, tabRadio, commaRadio};
    buttons.insert(buttons.end(), testChecks.begin(), testChecks.end());
    for (const FlagBinding &binding : flagBindings)
        buttons.push_back(binding.button);
    for (QAbstractButton *button : buttons)
        connect(button, &QAbstractButton::toggled, this,
                [this, after = follow(button)] { Announce(after); });
    connect(adapterList, &QComboBox::currentIndexChanged, this, [this] { Announce(nullptr); });
    connect(commandBox, &QComboBox::currentTextChanged, this, [this] { Announce(nullptr); });

    for (QLineEdit *field : {ownIpField, ownMacField, scanTimerField, packetNumberField,
                             sp1MacField, sp2MacField, nodeTimerField, syslogServerField})
        field->installEventFilter(this);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(setDefaultButton, &QPushButton::clicked, this, &SetupDialog::SetDefaultScanOptions);
    connect(logChooserButton, &QPushButton::clicked, this, &SetupDialog::ChooseLogFile);
}

void SetupDialog::Announce(void (SetupDialog::*after)())
{
    if (showing)
        return;
    Q_EMIT valuesEdited();
    if (after)
        (this->*after)();
}

void SetupDialog::SetAdapterItems(const QStringList &items)
{
    const bool wasShowing = std::exchange(showing, true);
    adapterList->clear();
    adapterList->addItems(items);
    adapterList->setCurrentIndex(-1);
    values.adapterItem.clear();
    showing = wasShowing;
}

void SetupDialog::SetValues(const Settings &shown)
{
    const bool wasShowing = std::exchange(showing, true);
    values = shown;
    for (const TextBinding &binding : textBindings) {
        if (binding.field->text() != shown.*binding.member)
            binding.field->setText(shown.*binding.member);
    }
    for (const FlagBinding &binding : flagBindings)
        binding.button->setChecked(shown.*binding.member);
    for (size_t i = 0; i < testChecks.size(); ++i)
        testChecks[i]->setChecked(shown.tests[i]);
    adapterList->setCurrentIndex(
        shown.adapterItem.isEmpty() ? -1 : adapterList->findText(shown.adapterItem));
    SetRadio(ethernetRadio, shown.format == FrameFormat::Ethernet2);
    SetRadio(ieeeRadio, shown.format == FrameFormat::Ieee8023);
    SetRadio(tabRadio, shown.tabDelimiter);
    SetRadio(commaRadio, shown.commaDelimiter);
    if (commandBox->currentText() != shown.command)
        commandBox->setEditText(shown.command);
    showing = wasShowing;
}

Settings SetupDialog::Values() const
{
    Settings s = values;
    for (const TextBinding &binding : textBindings)
        s.*binding.member = binding.field->text();
    for (const FlagBinding &binding : flagBindings)
        s.*binding.member = binding.button->isChecked();
    for (size_t i = 0; i < testChecks.size(); ++i)
        s.tests[i] = testChecks[i]->isChecked();
    s.adapterItem = adapterList->currentIndex() >= 0 ? adapterList->currentText() : QString();
    s.format = ieeeRadio->isChecked() ? FrameFormat::Ieee8023 : FrameFormat::Ethernet2;
    s.tabDelimiter = tabRadio->isChecked();
    s.commaDelimiter = commaRadio->isChecked();
    s.command = commandBox->currentText();
    return s;
}

void SetupDialog::SetScanGroupsEnabled(bool enabled)
{
    for (QGroupBox *group : {ownPcGroup, scanOptionsGroup, logGroup})
        group->setEnabled(enabled);
}

bool SetupDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        if (auto *field = qobject_cast<QLineEdit *>(watched))
            FieldExit(field);
    }
    return QDialog::eventFilter(watched, event);
}

void SetupDialog::FieldExit(QLineEdit *field)
{
    using ExitRule = QString (*)(const QString &);
    ExitRule rule = nullptr;
    if (field == ownIpField || field == syslogServerField)
        rule = &ValidIpText;
    else if (field == ownMacField)
        rule = &NormalizeOwnMac;
    else if (field == sp1MacField || field == sp2MacField)
        rule = &NormalizeMac;
    else if (field == scanTimerField)
        rule = &ScanTimerExit;
    else if (field == packetNumberField)
        rule = &PacketNumberExit;
    else if (field == nodeTimerField)
        rule = &NodeTimerExit;
    if (!rule)
        return;
    const QString text = rule(field->text());
    if (text != field->text())
        field->setText(text);
}

void SetupDialog::SetDefaultScanOptions()
{
    // The test addresses, the scan mode and the three number fields go back
    // to their first-run values; the rest stays as it is.
    const Settings defaults;
    Settings s = Values();
    s.tests = defaults.tests;
    s.listMode = defaults.listMode;
    s.cyclic = defaults.cyclic;
    s.confirmSuspects = defaults.confirmSuspects;
    s.scanTimer = defaults.scanTimer;
    s.packetNumber = defaults.packetNumber;
    s.nodeTimer = defaults.nodeTimer;
    SetValues(s);
    Announce(&SetupDialog::scanModeEdited);
}

void SetupDialog::ChooseLogFile()
{
    if (!logDialog) {
        logDialog = new QFileDialog(this);
        logDialog->setObjectName(u"LogDialog"_s);
        logDialog->setOption(QFileDialog::DontUseNativeDialog);
        logDialog->setAcceptMode(QFileDialog::AcceptOpen);
        // The log file is created by the first event, so it need not exist.
        logDialog->setFileMode(QFileDialog::AnyFile);
        logDialog->setDirectory(u"."_s);
        logDialog->selectFile(u"keelwatch.log"_s);
        logDialog->setNameFilter(u"*.log"_s);
    }
    if (logDialog->exec() == QDialog::Accepted && !logDialog->selectedFiles().isEmpty())
        logPathField->setText(logDialog->selectedFiles().constFirst());
}

void SetupDialog::closeEvent(QCloseEvent *event)
{
    Q_EMIT closing();
    event->accept();
}

} // namespace keelwatch
