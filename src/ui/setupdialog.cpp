#include "ui/setupdialog.h"

#include "config/addresstext.h"
#include "config/settingsstore.h"
#include "config/setuprules.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

template <typename Widget> Widget *Named(Widget *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

QPushButton *Button(const QString &caption, QWidget *parent, const QString &name)
{
    auto *button = Named(new QPushButton(caption, parent), name);
    // Enter in a field must not press "Set Default" or "Close".
    button->setAutoDefault(false);
    return button;
}

QLineEdit *MacField(QWidget *parent, const QString &name)
{
    auto *field = Named(new QLineEdit(parent), name);
    field->setMaxLength(MacFieldLength);
    // Room for "FF FF FF FF FF FF" in the dialog's font.
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(u"WW WW WW WW WW WW"_s));
    return field;
}

// A field for a few digits, as wide as its longest value needs.
QLineEdit *NumberField(QWidget *parent, const QString &name)
{
    auto *field = Named(new QLineEdit(parent), name);
    field->setMaximumWidth(field->fontMetrics().horizontalAdvance(u"000000"_s) + 16);
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

// Commands that start on a Debian desktop first; the four older ones stay
// for users who bring settings that name them.
const QStringList CommandPresets = {
    u"x-terminal-emulator -e ping $IP"_s,
    u"x-terminal-emulator -e nmblookup -A $IP"_s,
    u"xdg-open smb://$IP/"_s,
    u"xdg-open http://$IP/"_s,
    u"cmd /K nbtstat -A $IP"_s,
    u"net send $IP \"Don't Sniff\""_s,
    u"cmd /K ping $IP"_s,
    u"explorer \\\\$IP"_s,
};

// A field's exit rule as its validator: a text the rule would change is
// not yet acceptable, and leaving the field (or Enter) puts the rule's text
// in, which the field announces as an edit.
class ExitRuleValidator : public QValidator
{
  public:
    using Rule = QString (*)(const QString &);
    ExitRuleValidator(Rule r, QObject *parent) : QValidator(parent), rule(r) {}

    State validate(QString &input, int &) const override
    {
        return rule(input) == input ? Acceptable : Intermediate;
    }
    void fixup(QString &input) const override { input = rule(input); }

  private:
    Rule rule;
};

QString IpText(const std::optional<IpAddress> &ip)
{
    return ip ? ip->ToText() : QString();
}

QString MacText(const std::optional<MacAddress> &mac)
{
    return mac ? mac->ToText(u' ') : QString();
}

// The exit rules: an address is written in its usual form or emptied; an
// own MAC also gets its last digit 0; an SP address keeps its digits as
// typed; a number is forced into its range.
QString IpExit(const QString &text)
{
    return IpText(IpFromText(text));
}

QString OwnMacExit(const QString &text)
{
    return MacText(OwnMacFromText(text));
}

template <const NumberRule &rule> QString NumberExit(const QString &text)
{
    return QString::number(NumberFromText(rule, text));
}

// "0.25 s", "3.6 s", "2 min 7 s", "18 h 2 min"; the decimal sign is the
// locale's.
QString DurationText(double seconds)
{
    if (seconds < 60)
        return SetupDialog::tr("%1 s").arg(QLocale().toString(seconds, 'g', 2));
    const qint64 whole = qint64(seconds + 0.5);
    if (whole < 3600)
        return SetupDialog::tr("%1 min %2 s").arg(whole / 60).arg(whole % 60);
    return SetupDialog::tr("%1 h %2 min").arg(whole / 3600).arg(whole / 60 % 60);
}

} // namespace

SetupDialog::SetupDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"Form2"_s);
    setWindowTitle(tr("Setup"));

    // The groups scroll, and the Close button stays in view, on a screen
    // too small for all of them.
    auto *scroller = Named(new QScrollArea(this), u"SetupScroll"_s);
    scroller->setWidgetResizable(true);
    scroller->setFrameShape(QFrame::NoFrame);
    contents = new QWidget(scroller);
    auto *layout = new QVBoxLayout(contents);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(BuildOwnPc());
    // "Show all" sits outside the scan options, so it stays usable while a
    // scan runs.
    showAllCheck = Named(new QCheckBox(tr("Show all"), this), u"showall"_s);
    layout->addWidget(showAllCheck, 0, Qt::AlignRight);
    layout->addWidget(BuildScanOptions());
    layout->addWidget(BuildLog());
    layout->addWidget(BuildExternalCommand());
    closeButton = Button(tr("Close"), this, u"Button1"_s);
    auto *closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeRow->addWidget(closeButton);
    scroller->setWidget(contents);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(scroller, 1);
    outer->addLayout(closeRow);
    setSizeGripEnabled(true);

    BindControls();
    SetValues(values);
}

SetupDialog::~SetupDialog()
{
    // Going, the dialog hides and takes the focus from its field, whose rule
    // would then announce an edit to a dialog that is half gone.
    for (const TextBinding &binding : textBindings)
        binding.field->setValidator(nullptr);
}

QGroupBox *SetupDialog::BuildOwnPc()
{
    ownPcGroup = Named(new QGroupBox(tr("Own PC"), this), u"GroupBox1"_s);
    auto *grid = new QGridLayout(ownPcGroup);
    adapterList = Named(new QComboBox(ownPcGroup), u"CB1"_s);
    adapterList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    adapterList->setMinimumContentsLength(32);
    ownIpField = Named(new QLineEdit(ownPcGroup), u"Edit1"_s);
    ownMacField = MacField(ownPcGroup, u"Edit2"_s);
    grid->addWidget(new QLabel(tr("Network I/F"), ownPcGroup), 0, 0);
    grid->addWidget(adapterList, 0, 1, 1, 3);
    grid->addWidget(new QLabel(tr("IP Address"), ownPcGroup), 1, 0);
    grid->addWidget(ownIpField, 1, 1);
    grid->addWidget(new QLabel(tr("MAC Address"), ownPcGroup), 2, 0);
    grid->addWidget(ownMacField, 2, 1);
    grid->addWidget(new QLabel(u"- F"_s, ownPcGroup), 2, 2);
    grid->setColumnStretch(3, 1);
    return ownPcGroup;
}

QGroupBox *SetupDialog::BuildScanOptions()
{
    scanOptionsGroup = Named(new QGroupBox(tr("Scan Options"), this), u"f16"_s);
    auto *layout = new QVBoxLayout(scanOptionsGroup);

    // The fixed addresses: five on the first line, three on the second, with
    // "Set Default" beside them. SP1 and SP2 share the third
    // line with the fields of their addresses.
    auto *testGrid = new QGridLayout;
    auto *ownTests = new QHBoxLayout;
    int fixed = 0;
    for (int i = 0; i < TestCount; ++i) {
        const TestAddress &test = TestAddresses[size_t(i)];
        const bool own = test.column == Sp1Column || test.column == Sp2Column;
        auto *box = Named(new QCheckBox(QString::fromUtf16(test.label), scanOptionsGroup),
                          QString::fromUtf16(test.checkBox));
        if (own) {
            ownTests->addWidget(box);
            ownTests->addWidget(
                MacField(scanOptionsGroup, test.column == Sp1Column ? u"Edit5"_s : u"Edit6"_s));
        } else {
            box->setToolTip(QString::fromUtf16(test.destination).replace(u' ', u':'));
            testGrid->addWidget(box, fixed / 5, fixed % 5);
            ++fixed;
        }
        testChecks[size_t(i)] = box;
    }
    sp1MacField = scanOptionsGroup->findChild<QLineEdit *>(u"Edit5"_s);
    sp2MacField = scanOptionsGroup->findChild<QLineEdit *>(u"Edit6"_s);
    ownTests->addStretch(1);
    setDefaultButton = Button(tr("Set Default"), scanOptionsGroup, u"Button2"_s);
    testGrid->setColumnStretch(5, 1);
    testGrid->addWidget(setDefaultButton, 0, 6);
    layout->addLayout(testGrid);
    layout->addLayout(ownTests);

    formatFrame = Named(new QFrame(scanOptionsGroup), u"FramePanel"_s);
    formatFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto *formatRow = new QHBoxLayout(formatFrame);
    ethernetRadio = Named(new QRadioButton(tr("Ethernet  ( Mark : O/X )"), formatFrame), u"RB1"_s);
    ieeeRadio = Named(new QRadioButton(tr("IEEE 802.3 ( Mark : o/x )"), formatFrame), u"RB2"_s);
    formatRow->addWidget(ethernetRadio);
    formatRow->addWidget(ieeeRadio);
    formatRow->addStretch(1);
    layout->addWidget(formatFrame);
    ownIpSenderCheck = Named(
        new QCheckBox(tr("Probes give the own IP as &sender"), scanOptionsGroup), u"ownIpSender"_s);
    ownIpSenderCheck->setToolTip(
        tr("Rewrites every probed host's neighbour entry for this machine (repaired after each "
           "sweep). Only for stacks that do not answer address probes from 0.0.0.0."));
    layout->addWidget(ownIpSenderCheck);

    layout->addWidget(BuildScanMode());
    return scanOptionsGroup;
}

QGroupBox *SetupDialog::BuildScanMode()
{
    scanModeGroup = Named(new QGroupBox(tr("Scan Mode"), scanOptionsGroup), u"GroupBox3"_s);
    auto *grid = new QGridLayout(scanModeGroup);
    listModeCheck = Named(new QCheckBox(tr("List Mode"), scanModeGroup), u"FastScan"_s);
    cyclicCheck = Named(new QCheckBox(tr("Cyclic Scan"), scanModeGroup), u"Cyclicscan"_s);
    packetNumberField = NumberField(scanModeGroup, u"Edit4"_s);
    scanTimerField = NumberField(scanModeGroup, u"Edit3"_s);
    nodeTimerField = NumberField(scanModeGroup, u"Edit8"_s);
    grid->addWidget(listModeCheck, 0, 0);
    grid->addWidget(cyclicCheck, 1, 0);
    confirmSuspectsCheck =
        Named(new QCheckBox(tr("Confirm suspects"), scanModeGroup), u"ConfirmSuspects"_s);
    grid->addWidget(confirmSuspectsCheck, 2, 0);
    grid->addWidget(new QLabel(tr("Packet Number"), scanModeGroup), 0, 1);
    grid->addWidget(packetNumberField, 0, 2);
    grid->addWidget(new QLabel(u"(1-10)"_s, scanModeGroup), 0, 3);
    grid->addWidget(new QLabel(tr("Scan Timer"), scanModeGroup), 1, 1);
    grid->addWidget(scanTimerField, 1, 2);
    auto *scanTimerUnit = new QHBoxLayout;
    scanTimerUnit->addWidget(new QLabel(tr("Sec"), scanModeGroup));
    scanTimerUnit->addWidget(new QLabel(u"(1-60)"_s, scanModeGroup));
    scanTimerUnit->addStretch(1);
    grid->addLayout(scanTimerUnit, 1, 3);
    grid->addWidget(new QLabel(tr("Node Timer"), scanModeGroup), 2, 1);
    grid->addWidget(nodeTimerField, 2, 2);
    grid->addWidget(new QLabel(tr("ms ( 0-60000 )"), scanModeGroup), 2, 3);
    sendRateField = NumberField(scanModeGroup, u"SendRate"_s);
    grid->addWidget(new QLabel(tr("Send rate"), scanModeGroup), 3, 1);
    grid->addWidget(sendRateField, 3, 2);
    grid->addWidget(new QLabel(tr("frames/s (0: off)"), scanModeGroup), 3, 3);
    sweepEstimate = Named(new QLabel(scanModeGroup), u"SweepEstimate"_s);
    grid->addWidget(sweepEstimate, 4, 1, 1, 3);
    grid->setColumnStretch(4, 1);
    return scanModeGroup;
}

void SetupDialog::ShowPacing()
{
    // The Node Timer paces nothing while the send rate does.
    const Settings s = Values();
    nodeTimerField->setEnabled(s.sendRate == 0);
    const std::optional<double> seconds = s.EstimatedSweepSeconds();
    sweepEstimate->setText(seconds ? tr("One sweep of the range: %1").arg(DurationText(*seconds))
                                   : QString());
}

QGroupBox *SetupDialog::BuildLog()
{
    logGroup = Named(new QGroupBox(tr("Log"), this), u"GroupBox4"_s);
    auto *grid = new QGridLayout(logGroup);
    logPathField = Named(new QLineEdit(logGroup), u"logpath"_s);
    logChooserButton = Button(u"..."_s, logGroup, u"Button3"_s);
    logChooserButton->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    tabRadio = Named(new QRadioButton(tr("TAB (0x09)"), logGroup), u"RB_dtab"_s);
    commaRadio = Named(new QRadioButton(tr("Comma (0x2c)"), logGroup), u"RB_dcom"_s);
    syslogCheck = Named(new QCheckBox(tr("Send Syslog"), logGroup), u"SYSLOG_CHK"_s);
    syslogServerField = Named(new QLineEdit(logGroup), u"Edit9"_s);
    syslogRfc5424Check = Named(new QCheckBox(u"RFC 5424"_s, logGroup), u"SYSLOG5424_CHK"_s);
    syslogTransportBox = Named(new QComboBox(logGroup), u"SYSLOG_TRANSPORT"_s);
    // The stored words, shown in capitals.
    for (const SyslogTransport transport :
         {SyslogTransport::Udp, SyslogTransport::Tcp, SyslogTransport::Tls})
        syslogTransportBox->addItem(SyslogTransportWord(transport).toUpper(), int(transport));
    syslogCaField = Named(new QLineEdit(logGroup), u"SYSLOG_CA"_s);
    syslogCaField->setPlaceholderText(tr("system CAs"));
    syslogCertField = Named(new QLineEdit(logGroup), u"SYSLOG_CERT"_s);
    syslogCertField->setPlaceholderText(tr("none"));
    syslogSpoolField = NumberField(logGroup, u"SYSLOG_SPOOL"_s);
    syslogMaxBytesField = NumberField(logGroup, u"SYSLOG_MAXLEN"_s);

    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(logPathField, 1);
    pathRow->addWidget(logChooserButton);
    auto *delimiterRow = new QHBoxLayout;
    delimiterRow->addWidget(tabRadio);
    delimiterRow->addWidget(commaRadio);
    delimiterRow->addStretch(1);
    auto *syslogRow = new QHBoxLayout;
    syslogRow->addWidget(new QLabel(tr("Server IP"), logGroup));
    syslogRow->addWidget(syslogServerField);
    syslogRow->addWidget(syslogRfc5424Check);
    syslogRow->addStretch(1);
    grid->addWidget(new QLabel(tr("Log File"), logGroup), 0, 0);
    grid->addLayout(pathRow, 0, 1);
    grid->addWidget(new QLabel(tr("Delimiter option"), logGroup), 1, 0);
    grid->addLayout(delimiterRow, 1, 1);
    grid->addWidget(syslogCheck, 2, 0);
    grid->addLayout(syslogRow, 2, 1);
    auto *transportRow = new QHBoxLayout;
    transportRow->addWidget(syslogTransportBox);
    transportRow->addWidget(new QLabel(tr("Spool KiB"), logGroup));
    transportRow->addWidget(syslogSpoolField);
    transportRow->addWidget(new QLabel(tr("RFC 5424 max bytes"), logGroup));
    transportRow->addWidget(syslogMaxBytesField);
    transportRow->addStretch(1);
    auto *tlsRow = new QHBoxLayout;
    tlsRow->addWidget(new QLabel(tr("CA file"), logGroup));
    tlsRow->addWidget(syslogCaField, 1);
    tlsRow->addWidget(new QLabel(tr("Client cert"), logGroup));
    tlsRow->addWidget(syslogCertField, 1);
    grid->addWidget(new QLabel(tr("Transport"), logGroup), 3, 0);
    grid->addLayout(transportRow, 3, 1);
    grid->addWidget(new QLabel(u"TLS"_s, logGroup), 4, 0);
    grid->addLayout(tlsRow, 4, 1);
    return logGroup;
}

QGroupBox *SetupDialog::BuildExternalCommand()
{
    commandGroup = Named(new QGroupBox(tr("External command"), this), u"GroupBox2"_s);
    auto *layout = new QVBoxLayout(commandGroup);
    auto *captionRow = new QHBoxLayout;
    captionRow->addWidget(new QLabel(tr("Command Line: "), commandGroup));
    captionRow->addWidget(
        new QLabel(tr("[ $IP : IP Address      $MAC : MAC Address ]"), commandGroup));
    captionRow->addStretch(1);
    layout->addLayout(captionRow);
    commandBox = Named(new QComboBox(commandGroup), u"Edit7"_s);
    commandBox->setEditable(true);
    commandBox->setInsertPolicy(QComboBox::NoInsert);
    commandBox->addItems(CommandPresets);
    commandBox->setCurrentIndex(-1);
    layout->addWidget(commandBox);
    return commandGroup;
}

void SetupDialog::BindControls()
{
    textBindings = {
        {ownIpField, [](Settings &s, const QString &t) { s.ownIp = IpFromText(t); },
         [](const Settings &s) { return IpText(s.ownIp); }, &IpExit},
        {ownMacField, [](Settings &s, const QString &t) { s.ownMac = OwnMacFromText(t); },
         [](const Settings &s) { return MacText(s.ownMac); }, &OwnMacExit},
        {sp1MacField, [](Settings &s, const QString &t) { s.sp1Mac = MacFromText(t); },
         [](const Settings &s) { return MacText(s.sp1Mac); }, &NormalizeMac},
        {sp2MacField, [](Settings &s, const QString &t) { s.sp2Mac = MacFromText(t); },
         [](const Settings &s) { return MacText(s.sp2Mac); }, &NormalizeMac},
        {scanTimerField,
         [](Settings &s, const QString &t) {
             s.scanTimerSeconds = NumberFromText(ScanTimerRule, t);
         },
         [](const Settings &s) { return QString::number(s.scanTimerSeconds); },
         &NumberExit<ScanTimerRule>},
        {packetNumberField,
         [](Settings &s, const QString &t) { s.packetCount = NumberFromText(PacketCountRule, t); },
         [](const Settings &s) { return QString::number(s.packetCount); },
         &NumberExit<PacketCountRule>},
        {nodeTimerField,
         [](Settings &s, const QString &t) { s.nodeTimerMs = NumberFromText(NodeTimerRule, t); },
         [](const Settings &s) { return QString::number(s.nodeTimerMs); },
         &NumberExit<NodeTimerRule>},
        {sendRateField,
         [](Settings &s, const QString &t) { s.sendRate = NumberFromText(SendRateRule, t); },
         [](const Settings &s) { return QString::number(s.sendRate); }, &NumberExit<SendRateRule>},
        {logPathField, [](Settings &s, const QString &t) { s.logPath = t; },
         [](const Settings &s) { return s.logPath; }},
        {syslogServerField, [](Settings &s, const QString &t) { s.syslogServer = IpFromText(t); },
         [](const Settings &s) { return IpText(s.syslogServer); }, &IpExit},
        {syslogCaField, [](Settings &s, const QString &t) { s.syslogCaFile = t; },
         [](const Settings &s) { return s.syslogCaFile; }},
        {syslogCertField, [](Settings &s, const QString &t) { s.syslogCertFile = t; },
         [](const Settings &s) { return s.syslogCertFile; }},
        {syslogSpoolField,
         [](Settings &s, const QString &t) {
             s.syslogSpoolKib = NumberFromText(SyslogSpoolRule, t);
         },
         [](const Settings &s) { return QString::number(s.syslogSpoolKib); },
         &NumberExit<SyslogSpoolRule>},
        {syslogMaxBytesField,
         [](Settings &s, const QString &t) {
             s.syslogMaxBytes = NumberFromText(SyslogMessageRule, t);
         },
         [](const Settings &s) { return QString::number(s.syslogMaxBytes); },
         &NumberExit<SyslogMessageRule>},
    };
    flagBindings = {
        {listModeCheck, &Settings::listMode},
        {cyclicCheck, &Settings::cyclic},
        {confirmSuspectsCheck, &Settings::confirmSuspects},
        {syslogCheck, &Settings::syslog},
        {syslogRfc5424Check, &Settings::syslogRfc5424},
        {showAllCheck, &Settings::showAll},
    };

    // What else a change affects: the scan mode panels, or the columns.
    const auto follow = [this](QObject *control) -> void (SetupDialog::*)() {
        if (control == listModeCheck || control == cyclicCheck || control == scanTimerField ||
            control == packetNumberField || control == nodeTimerField || control == sendRateField)
            return &SetupDialog::scanModeEdited;
        if (control == showAllCheck)
            return &SetupDialog::showAllToggled;
        return nullptr;
    };
    for (const TextBinding &binding : textBindings)
        connect(binding.field, &QLineEdit::textChanged, this,
                [this, after = follow(binding.field)] { Announce(after); });
    std::vector<QAbstractButton *> buttons{ethernetRadio, ieeeRadio, ownIpSenderCheck, tabRadio,
                                           commaRadio};
    buttons.insert(buttons.end(), testChecks.begin(), testChecks.end());
    for (const FlagBinding &binding : flagBindings)
        buttons.push_back(binding.button);
    for (QAbstractButton *button : buttons)
        connect(button, &QAbstractButton::toggled, this,
                [this, after = follow(button)] { Announce(after); });
    connect(adapterList, &QComboBox::currentIndexChanged, this, &SetupDialog::OnAdapterChosen);
    connect(commandBox, &QComboBox::currentTextChanged, this, [this] { Announce(nullptr); });
    connect(syslogTransportBox, &QComboBox::currentIndexChanged, this,
            [this] { Announce(nullptr); });

    for (const TextBinding &binding : textBindings) {
        if (binding.exitRule)
            binding.field->setValidator(new ExitRuleValidator(binding.exitRule, binding.field));
    }
    // The estimate follows every edit that changes it, and values shown.
    for (const TextBinding &binding : textBindings)
        connect(binding.field, &QLineEdit::textChanged, this, &SetupDialog::ShowPacing);
    for (QCheckBox *box : testChecks)
        connect(box, &QAbstractButton::toggled, this, &SetupDialog::ShowPacing);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(setDefaultButton, &QPushButton::clicked, this, &SetupDialog::SetDefaultScanOptions);
    connect(logChooserButton, &QPushButton::clicked, this, &SetupDialog::ChooseLogFile);
}

// A picked interface brings its address as the own IP; the Start checks
// would refuse an empty one.
void SetupDialog::OnAdapterChosen(int index)
{
    const bool picked = !showing && index >= 0 && index < adapters.size();
    if (picked) {
        const QString ip = adapters[index].address.ToText();
        if (ownIpField->text() != ip)
            ownIpField->setText(ip);
    }
    Announce(nullptr);
    if (picked)
        Q_EMIT adapterChosen();
}

void SetupDialog::Announce(void (SetupDialog::*after)())
{
    if (showing)
        return;
    Q_EMIT valuesEdited();
    if (after)
        (this->*after)();
}

void SetupDialog::SetAdapters(const NetworkAdapters &list)
{
    const bool wasShowing = std::exchange(showing, true);
    adapters = list;
    adapterList->clear();
    for (const NetworkAdapter &adapter : adapters)
        adapterList->addItem(adapter.ItemText());
    adapterList->setCurrentIndex(-1);
    values.adapter = {};
    showing = wasShowing;
}

void SetupDialog::SetValues(const Settings &shown)
{
    const bool wasShowing = std::exchange(showing, true);
    values = shown;
    for (const TextBinding &binding : textBindings) {
        const QString typed = binding.field->text();
        Settings read = shown;
        binding.read(read, typed);
        if (typed.isEmpty() || read != shown) {
            const QString text = binding.show(shown);
            if (text != typed)
                binding.field->setText(text);
        }
    }
    for (const FlagBinding &binding : flagBindings)
        binding.button->setChecked(shown.*binding.member);
    for (size_t i = 0; i < testChecks.size(); ++i)
        testChecks[i]->setChecked(shown.tests[i]);
    adapterList->setCurrentIndex(
        shown.adapter.name.isEmpty() ? -1 : int(adapters.indexOf(shown.adapter)));
    SetRadio(ethernetRadio, shown.format == FrameFormat::Ethernet2);
    SetRadio(ieeeRadio, shown.format == FrameFormat::Ieee8023);
    ownIpSenderCheck->setChecked(shown.probeSenderIp == ProbeSenderIp::Own);
    SetRadio(tabRadio, shown.tabDelimiter);
    SetRadio(commaRadio, shown.commaDelimiter);
    if (commandBox->currentText() != shown.command)
        commandBox->setEditText(shown.command);
    syslogTransportBox->setCurrentIndex(syslogTransportBox->findData(int(shown.syslogTransport)));
    ShowPacing();
    showing = wasShowing;
}

Settings SetupDialog::Values() const
{
    Settings s = values;
    for (const TextBinding &binding : textBindings)
        binding.read(s, binding.field->text());
    for (const FlagBinding &binding : flagBindings)
        s.*binding.member = binding.button->isChecked();
    for (size_t i = 0; i < testChecks.size(); ++i)
        s.tests[i] = testChecks[i]->isChecked();
    const int adapter = adapterList->currentIndex();
    s.adapter = adapter >= 0 && adapter < adapters.size() ? adapters[adapter] : NetworkAdapter{};
    s.format = ieeeRadio->isChecked() ? FrameFormat::Ieee8023 : FrameFormat::Ethernet2;
    s.probeSenderIp = ownIpSenderCheck->isChecked() ? ProbeSenderIp::Own : ProbeSenderIp::Zero;
    s.tabDelimiter = tabRadio->isChecked();
    s.commaDelimiter = commaRadio->isChecked();
    s.command = commandBox->currentText();
    s.syslogTransport = SyslogTransport(syslogTransportBox->currentData().toInt());
    return s;
}

void SetupDialog::ShowRange(const QString &from, const QString &to)
{
    values.from = from;
    values.to = to;
    ShowPacing();
}

void SetupDialog::SetScanGroupsEnabled(bool enabled)
{
    for (QGroupBox *group : {ownPcGroup, scanOptionsGroup, logGroup})
        group->setEnabled(enabled);
}

void SetupDialog::SetDefaultScanOptions()
{
    // The test addresses, the probes' sender address, the scan mode and the
    // number fields go back to their first-run values; the rest stays as it
    // is.
    const Settings defaults;
    Settings s = Values();
    s.tests = defaults.tests;
    s.probeSenderIp = defaults.probeSenderIp;
    s.listMode = defaults.listMode;
    s.cyclic = defaults.cyclic;
    s.scanTimerSeconds = defaults.scanTimerSeconds;
    s.packetCount = defaults.packetCount;
    s.nodeTimerMs = defaults.nodeTimerMs;
    s.sendRate = defaults.sendRate;
    s.confirmSuspects = defaults.confirmSuspects;
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

void SetupDialog::FitToScreen()
{
    const QScreen *shown = screen();
    if (!shown)
        return;
    // Room for the window frame, which the dialog does not know before it
    // is shown.
    const QRect room = shown->availableGeometry().adjusted(0, 0, -16, -48);
    const QMargins margins = layout()->contentsMargins();
    // Room for a vertical scroll bar, so a short screen needs no horizontal
    // one as well.
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QSize inside = contents->sizeHint();
    const QSize wanted(inside.width() + margins.left() + margins.right() + scrollBar,
                       inside.height() + margins.top() + margins.bottom() + layout()->spacing() +
                           closeButton->sizeHint().height());
    resize(wanted.boundedTo(room.size()));
    // Moved up and left as far as needed for the whole window to show.
    QPoint place = pos();
    place.setX(std::clamp(place.x(), room.left(), std::max(room.left(), room.right() - width())));
    place.setY(std::clamp(place.y(), room.top(), std::max(room.top(), room.bottom() - height())));
    move(place);
}

void SetupDialog::showEvent(QShowEvent *event)
{
    // Once: afterwards the size is the user's.
    if (!std::exchange(fitted, true))
        FitToScreen();
    QDialog::showEvent(event);
}

void SetupDialog::closeEvent(QCloseEvent *event)
{
    Q_EMIT closing();
    event->accept();
}

} // namespace keelwatch
