#include "ui/setupdialog.h"

#include "config/fieldsplit.h"
#include "config/setuprules.h"
#include "scan/testaddresses.h"
#include "ui/mainwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

using ExitRule = QString (*)(const QString &);

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

SetupDialog::SetupDialog(MainWindow *form1) : QDialog(form1), form1(form1)
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
    showall = Place(new QCheckBox(u"Show all"_s, this), u"showall"_s, QRect(312, 104, 68, 16));
    Button1 = Button(u"Close"_s, this, u"Button1"_s, QRect(302, 494, 80, 25));

    saveFailed = [this](const QString &message) {
        QMessageBox::critical(this, u"Keelwatch"_s, message);
    };

    storedFields = {
        {u"TIPF"_s, form1->findChild<QLineEdit *>(u"Edit1"_s)},
        {u"TIPT"_s, form1->findChild<QLineEdit *>(u"Edit2"_s)},
        {u"OIP"_s, Edit1},
        {u"OMAC"_s, Edit2},
        {u"FS1MAC"_s, Edit5},
        {u"FS2MAC"_s, Edit6},
        {u"IVTIME"_s, Edit3},
        {u"PNUM"_s, Edit4},
        {u"PacketTIME"_s, Edit8},
        {u"Logpath"_s, logpath},
        {u"SyslogServ"_s, Edit9},
    };
    storedFlags = {
        {u"FBR"_s, fbr},
        {u"F31"_s, f31},
        {u"F016"_s, f016},
        {u"F8"_s, f8},
        {u"FM"_s, fm},
        {u"M1"_s, M1},
        {u"M2"_s, M2},
        {u"FG"_s, fg},
        {u"FS1"_s, fs1},
        {u"FS2"_s, fs2},
        {u"FastScan"_s, FastScan},
        {u"CyclicScan"_s, Cyclicscan},
        {u"Scroll"_s, form1->findChild<QCheckBox *>(u"scrollcheck"_s)},
        {u"Beep"_s, form1->findChild<QCheckBox *>(u"BeepCheck"_s)},
        {u"DTAB"_s, RB_dtab},
        {u"DCOM"_s, RB_dcom},
        {u"showall"_s, showall},
        {u"Syslog"_s, SYSLOG_CHK},
    };
    ConnectHandlers();
}

void SetupDialog::BuildOwnPc()
{
    GroupBox1 = Place(new QGroupBox(u"Own PC"_s, this), u"GroupBox1"_s, QRect(8, 6, 374, 92));
    AddLabel(GroupBox1, u"Network I/F"_s, 10, 21);
    CB1 = Place(new QComboBox(GroupBox1), u"CB1"_s, QRect(84, 17, 280, 21));
    AddLabel(GroupBox1, u"IP Address"_s, 10, 45);
    Edit1 = Place(new QLineEdit(GroupBox1), u"Edit1"_s, QRect(84, 41, 110, 21));
    AddLabel(GroupBox1, u"MAC Address"_s, 10, 69);
    Edit2 = Place(new QLineEdit(GroupBox1), u"Edit2"_s, QRect(84, 65, 110, 21));
    Edit2->setMaxLength(17);
    Edit2->setText(QString::fromUtf16(DefaultOwnMac));
    AddLabel(GroupBox1, u"- F"_s, 198, 69);
}

void SetupDialog::BuildScanOptions()
{
    f16 = Place(new QGroupBox(u"Scan Options"_s, this), u"f16"_s, QRect(8, 104, 374, 204));

    // Br, B47, B16, B8, Gr on the first line, M0, M1, M3 on the second.
    const std::array<QCheckBox **, TestCount> boxes = {&fbr, &f31, &f016, &f8,  &fg,
                                                       &fm,  &M1,  &M2,   &fs1, &fs2};
    for (int i = 0; i < 8; ++i) {
        const TestAddress &test = TestAddresses[size_t(i)];
        const int x = 10 + (i % 5) * 50;
        const int y = i < 5 ? 20 : 40;
        auto *box = Place(new QCheckBox(QString::fromUtf16(test.label), f16),
                          QString::fromUtf16(test.checkBox), QRect(x, y, 48, 16));
        box->setToolTip(QString::fromUtf16(test.destination).replace(u' ', u':'));
        box->setChecked(test.column <= 6);
        *boxes[size_t(i)] = box;
    }
    fs1 = Place(new QCheckBox(u"SP1"_s, f16), u"fs1"_s, QRect(10, 63, 40, 16));
    Edit5 = Place(new QLineEdit(f16), u"Edit5"_s, QRect(52, 61, 110, 21));
    fs2 = Place(new QCheckBox(u"SP2"_s, f16), u"fs2"_s, QRect(184, 63, 40, 16));
    Edit6 = Place(new QLineEdit(f16), u"Edit6"_s, QRect(226, 61, 110, 21));
    for (QLineEdit *sp : {Edit5, Edit6})
        sp->setMaxLength(17);
    Button2 = Button(u"Set Default"_s, f16, u"Button2"_s, QRect(276, 22, 88, 25));

    FramePanel = Place(new QFrame(f16), u"FramePanel"_s, QRect(10, 88, 354, 24));
    FramePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    RB1 = Place(new QRadioButton(u"Ethernet  ( Mark : O/X )"_s, FramePanel), u"RB1"_s,
                QRect(8, 4, 160, 16));
    RB1->setChecked(true);
    RB2 = Place(new QRadioButton(u"IEEE 802.3 ( Mark : o/x )"_s, FramePanel), u"RB2"_s,
                QRect(184, 4, 164, 16));

    BuildScanMode();
}

void SetupDialog::BuildScanMode()
{
    GroupBox3 = Place(new QGroupBox(u"Scan Mode"_s, f16), u"GroupBox3"_s, QRect(10, 116, 354, 82));
    FastScan =
        Place(new QCheckBox(u"List Mode"_s, GroupBox3), u"FastScan"_s, QRect(10, 26, 90, 16));
    FastScan->setChecked(true);
    Cyclicscan =
        Place(new QCheckBox(u"Cyclic Scan"_s, GroupBox3), u"Cyclicscan"_s, QRect(10, 50, 90, 16));
    Cyclicscan->setChecked(true);
    AddLabel(GroupBox3, u"Packet Number"_s, 120, 20);
    Edit4 = Place(new QLineEdit(u"3"_s, GroupBox3), u"Edit4"_s, QRect(200, 17, 44, 19));
    AddLabel(GroupBox3, u"(1-10)"_s, 250, 20);
    AddLabel(GroupBox3, u"Scan Timer"_s, 120, 40);
    Edit3 = Place(new QLineEdit(u"5"_s, GroupBox3), u"Edit3"_s, QRect(200, 37, 44, 19));
    AddLabel(GroupBox3, u"Sec"_s, 250, 40);
    AddLabel(GroupBox3, u"(1-60)"_s, 274, 40);
    AddLabel(GroupBox3, u"Node Timer"_s, 120, 60);
    Edit8 = Place(new QLineEdit(u"500"_s, GroupBox3), u"Edit8"_s, QRect(200, 57, 44, 19));
    AddLabel(GroupBox3, u"ms ( 0-60000 )"_s, 250, 60);
}

void SetupDialog::BuildLog()
{
    GroupBox4 = Place(new QGroupBox(u"Log"_s, this), u"GroupBox4"_s, QRect(8, 314, 374, 98));
    AddLabel(GroupBox4, u"Log File"_s, 10, 21);
    logpath =
        Place(new QLineEdit(u"keelwatch.log"_s, GroupBox4), u"logpath"_s, QRect(60, 17, 270, 21));
    Button3 = Button(u"..."_s, GroupBox4, u"Button3"_s, QRect(334, 17, 30, 21));
    AddLabel(GroupBox4, u"Delimiter option"_s, 10, 46);
    RB_dtab =
        Place(new QRadioButton(u"TAB (0x09)"_s, GroupBox4), u"RB_dtab"_s, QRect(100, 45, 90, 16));
    RB_dtab->setChecked(true);
    RB_dcom = Place(new QRadioButton(u"Comma (0x2c)"_s, GroupBox4), u"RB_dcom"_s,
                    QRect(196, 45, 100, 16));
    SYSLOG_CHK =
        Place(new QCheckBox(u"Send Syslog"_s, GroupBox4), u"SYSLOG_CHK"_s, QRect(10, 72, 90, 16));
    AddLabel(GroupBox4, u"Server IP"_s, 120, 73);
    Edit9 = Place(new QLineEdit(GroupBox4), u"Edit9"_s, QRect(176, 69, 110, 21));
}

void SetupDialog::BuildExternalCommand()
{
    GroupBox2 =
        Place(new QGroupBox(u"External command"_s, this), u"GroupBox2"_s, QRect(8, 416, 374, 70));
    AddLabel(GroupBox2, u"Command Line: "_s, 10, 20);
    AddLabel(GroupBox2, u"[ $IP : IP Address      $MAC : MAC Address ]"_s, 100, 20);
    Edit7 = Place(new QComboBox(GroupBox2), u"Edit7"_s, QRect(10, 38, 354, 22));
    Edit7->setEditable(true);
    Edit7->setInsertPolicy(QComboBox::NoInsert);
    Edit7->addItems(CommandPresets);
    Edit7->setCurrentIndex(-1);
    Edit7->setEditText(QString());
}

void SetupDialog::ConnectHandlers()
{
    for (QLineEdit *field : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit8, Edit9})
        field->installEventFilter(this);
    connect(FastScan, &QCheckBox::toggled, this, &SetupDialog::ShowScanMode);
    connect(Cyclicscan, &QCheckBox::toggled, this, &SetupDialog::ShowScanMode);
    for (QLineEdit *field : {Edit3, Edit4, Edit8})
        connect(field, &QLineEdit::textChanged, this, &SetupDialog::ShowScanMode);
    connect(showall, &QCheckBox::toggled, this, &SetupDialog::ShowTestColumns);
    connect(Button1, &QPushButton::clicked, this, &QWidget::hide);
    connect(Button2, &QPushButton::clicked, this, &SetupDialog::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &SetupDialog::Button3Click);
}

Settings SetupDialog::Read() const
{
    Settings s;
    form1->ReadSettings(s);
    s.adapterItem = CB1->currentIndex() >= 0 ? CB1->currentText() : QString();
    s.ownIp = Edit1->text();
    s.ownMac = Edit2->text();
    const auto boxes = TestBoxes();
    for (size_t i = 0; i < boxes.size(); ++i)
        s.tests[i] = boxes[i]->isChecked();
    s.sp1Mac = Edit5->text();
    s.sp2Mac = Edit6->text();
    s.format = RB2->isChecked() ? FrameFormat::Ieee8023 : FrameFormat::Ethernet2;
    s.listMode = FastScan->isChecked();
    s.cyclic = Cyclicscan->isChecked();
    s.scanTimer = Edit3->text();
    s.packetNumber = Edit4->text();
    s.nodeTimer = Edit8->text();
    s.logPath = logpath->text();
    s.tabDelimiter = RB_dtab->isChecked();
    s.syslog = SYSLOG_CHK->isChecked();
    s.syslogServer = Edit9->text();
    s.command = Edit7->currentText();
    s.showAll = showall->isChecked();
    return s;
}

std::array<QCheckBox *, TestCount> SetupDialog::TestBoxes() const
{
    return {fbr, f31, f016, f8, fg, fm, M1, M2, fs1, fs2};
}

void SetupDialog::SetAdapterItems(const QStringList &items)
{
    CB1->clear();
    CB1->addItems(items);
    CB1->setCurrentIndex(-1);
}

void SetupDialog::ShowDriverVersion(const QString &text)
{
    form1->SetPanelText(7, text);
}

void SetupDialog::ShowTestColumns()
{
    form1->ShowTestColumns(showall->isChecked(), Read().tests);
}

void SetupDialog::SetScanGroupsEnabled(bool enabled)
{
    for (QGroupBox *group : {GroupBox1, f16, GroupBox4})
        group->setEnabled(enabled);
}

void SetupDialog::LoadSettings()
{
    const auto store = OpenSettingsStore();
    ReadSettingsStore(*this, *store);
    ShowTestColumns();
}

void SetupDialog::SaveSettings()
{
    const auto store = OpenSettingsStore();
    WriteSettingsStore(*this, *store, saveFailed);
}

QString SetupDialog::Text(QStringView value) const
{
    if (value == u"Command")
        return Edit7->currentText();
    const QLineEdit *field = storedFields.value(value.toString());
    return field ? field->text() : QString();
}

void SetupDialog::SetText(QStringView value, const QString &text)
{
    if (value == u"Command") {
        Edit7->setEditText(text);
        return;
    }
    QLineEdit *field = storedFields.value(value.toString());
    if (!field)
        return;
    // A text longer than the field takes would be cut to another address.
    // Blanks around it do not count; a text still too long is no valid
    // address, so the field stays empty.
    QString shown = text;
    if (shown.size() > field->maxLength()) {
        shown = TrimControls(text);
        if (shown.size() > field->maxLength())
            shown.clear();
    }
    field->setText(shown);
}

bool SetupDialog::Flag(QStringView value) const
{
    const QAbstractButton *button = storedFlags.value(value.toString());
    return button && button->isChecked();
}

void SetupDialog::SetFlag(QStringView value, bool on)
{
    QAbstractButton *button = storedFlags.value(value.toString());
    if (!button)
        return;
    // Switching one delimiter button off leaves the other as it is, so both
    // may end up off (a comma then).
    auto *radio = qobject_cast<QRadioButton *>(button);
    if (radio && !on) {
        radio->setAutoExclusive(false);
        radio->setChecked(false);
        radio->setAutoExclusive(true);
    } else {
        button->setChecked(on);
    }
}

QStringList SetupDialog::AdapterItems() const
{
    QStringList items;
    for (int i = 0; i < CB1->count(); ++i)
        items.append(CB1->itemText(i));
    return items;
}

int SetupDialog::AdapterIndex() const
{
    return CB1->currentIndex();
}

void SetupDialog::SetAdapterIndex(int index)
{
    CB1->setCurrentIndex(index);
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
    static const QHash<QString, ExitRule> rules = {
        {u"Edit1"_s, &ValidIpText},      {u"Edit9"_s, &ValidIpText},
        {u"Edit2"_s, &NormalizeOwnMac},  {u"Edit5"_s, &NormalizeMac},
        {u"Edit6"_s, &NormalizeMac},     {u"Edit3"_s, &ScanTimerExit},
        {u"Edit4"_s, &PacketNumberExit}, {u"Edit8"_s, &NodeTimerExit},
    };
    const ExitRule rule = rules.value(field->objectName());
    if (!rule)
        return;
    const QString text = rule(field->text());
    if (text != field->text())
        field->setText(text);
}

void SetupDialog::ShowScanMode()
{
    form1->ShowScanMode(Read());
}

void SetupDialog::Button2Click()
{
    for (QCheckBox *on : {fbr, f31, f016, f8})
        on->setChecked(true);
    for (QCheckBox *off : {fm, M1, M2})
        off->setChecked(false);
    fg->setChecked(true);
    for (QCheckBox *off : {fs1, fs2})
        off->setChecked(false);
    FastScan->setChecked(true);
    Cyclicscan->setChecked(true);
    Edit3->setText(u"5"_s);
    Edit4->setText(u"3"_s);
    Edit8->setText(u"500"_s);
}

void SetupDialog::Button3Click()
{
    if (!LogDialog) {
        LogDialog = new QFileDialog(this);
        LogDialog->setObjectName(u"LogDialog"_s);
        LogDialog->setOption(QFileDialog::DontUseNativeDialog);
        LogDialog->setAcceptMode(QFileDialog::AcceptOpen);
        // The log file is created by the first event, so it need not exist.
        LogDialog->setFileMode(QFileDialog::AnyFile);
        LogDialog->setDirectory(u"."_s);
        LogDialog->selectFile(u"keelwatch.log"_s);
        LogDialog->setNameFilter(u"*.log"_s);
    }
    if (LogDialog->exec() == QDialog::Accepted && !LogDialog->selectedFiles().isEmpty())
        logpath->setText(LogDialog->selectedFiles().constFirst());
}

void SetupDialog::closeEvent(QCloseEvent *event)
{
    SaveSettings();
    event->accept();
}

} // namespace keelwatch
