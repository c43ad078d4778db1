#include "config/addresstext.h"
#include "config/settingsstore.h"
#include "support/confighome.h"
#include "support/find.h"
#include "ui/mainwindow.h"
#include "ui/nodegrid.h"
#include "ui/settingslink.h"
#include "ui/setupdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <vector>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

[[maybe_unused]] ConfigHome *const configHome = RegisterConfigHome();

const NetworkAdapters Adapters = {{u"kw-scan"_s, IpAddress::FromIpv4(0x0A4D0064)},
                                  {u"eth0"_s, IpAddress::FromIpv4(0xC0A80104)}};

// The ten test address check boxes in table order.
std::vector<QCheckBox *> TestBoxes(const SetupDialog &dialog)
{
    std::vector<QCheckBox *> boxes;
    for (const TestAddress &test : TestAddresses)
        boxes.push_back(dialog.findChild<QCheckBox *>(QString::fromUtf16(test.checkBox)));
    return boxes;
}

// The dialog as the program has it: linked to the settings model and the
// main window.
struct LinkedSetup
{
    LinkedSetup()
        : form2(&form1),
          link(
              model, form1, form2, [this](const QString &m) { saveFailures << m; },
              [](const NetworkAdapter &adapter) -> std::optional<IpRange> {
                  // kw-scan's network is known, eth0's not.
                  if (adapter.name != u"kw-scan"_s)
                      return std::nullopt;
                  return IpRange{IpAddress::FromIpv4(0x0A4D0001), IpAddress::FromIpv4(0x0A4D00FE)};
              })
    {
    }
    NodeList nodes;
    MainWindow form1{nodes};
    SetupDialog form2;
    SettingsModel model;
    SettingsLink link;
    QStringList saveFailures;
};

class SetupDialogTest : public ::testing::Test
{
  protected:
    SetupDialogTest() : form1(linked.form1), form2(linked.form2), model(linked.model) {}

    void SetUp() override
    {
        OpenSettingsStore()->clear();
        form2.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form2));
    }

    // Types into the field and leaves it, as a user does.
    void TypeAndLeave(QLineEdit *field, const QString &text)
    {
        form2.activateWindow();
        field->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }));
        field->selectAll();
        QTest::keyClicks(field, text);
        Find<QPushButton>(form2, "Button1")->setFocus();
        ASSERT_FALSE(field->hasFocus());
    }

    // Which of the ten result columns the grid shows.
    QString VisibleResultColumns() const
    {
        QString shown;
        for (int column = 2; column <= 11; ++column)
            shown += Find<QTableView>(form1, "SG")->isColumnHidden(column) ? u'0' : u'1';
        return shown;
    }

    LinkedSetup linked;
    MainWindow &form1;
    SetupDialog &form2;
    SettingsModel &model;
};

TEST_F(SetupDialogTest, ControlsStartWithTheirDefaults)
{
    EXPECT_EQ(form2.windowTitle(), u"Setup"_s);
    EXPECT_EQ(Find<QComboBox>(form2, "CB1")->currentIndex(), -1);
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit1")->text(), QString());
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit2")->text(), u"00 11 22 33 44 50"_s);
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit2")->maxLength(), 17);
    const struct
    {
        const char *name;
        const char16_t *caption;
        const char16_t *hint;
        bool on;
    } boxes[] = {
        {"fbr", u"Br", u"FF:FF:FF:FF:FF:FF", true},
        {"f31", u"B47", u"FF:FF:FF:FF:FF:FE", true},
        {"f016", u"B16", u"FF:FF:00:00:00:00", true},
        {"f8", u"B8", u"FF:00:00:00:00:00", true},
        {"fg", u"Gr", u"01:00:00:00:00:00", true},
        {"fm", u"M0", u"01:00:5E:00:00:00", false},
        {"M1", u"M1", u"01:00:5E:00:00:01", false},
        {"M2", u"M3", u"01:00:5E:00:00:03", false},
        {"fs1", u"SP1", u"", false},
        {"fs2", u"SP2", u"", false},
    };
    for (const auto &box : boxes) {
        auto *check = Find<QCheckBox>(form2, box.name);
        ASSERT_NE(check, nullptr);
        EXPECT_EQ(check->text(), QString::fromUtf16(box.caption)) << box.name;
        EXPECT_EQ(check->toolTip(), QString::fromUtf16(box.hint)) << box.name;
        EXPECT_EQ(check->isChecked(), box.on) << box.name;
        EXPECT_EQ(check->parentWidget(), Find<QGroupBox>(form2, "f16")) << box.name;
    }
    EXPECT_TRUE(Find<QRadioButton>(form2, "RB1")->isChecked());
    EXPECT_EQ(Find<QRadioButton>(form2, "RB1")->text(), u"Ethernet  ( Mark : O/X )"_s);
    EXPECT_FALSE(Find<QRadioButton>(form2, "RB2")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(form2, "FastScan")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(form2, "Cyclicscan")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(form2, "ConfirmSuspects")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit4")->text(), u"3"_s);
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit3")->text(), u"5"_s);
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit8")->text(), u"500"_s);
    EXPECT_EQ(Find<QLineEdit>(form2, "logpath")->text(), u"keelwatch.log"_s);
    EXPECT_TRUE(Find<QRadioButton>(form2, "RB_dtab")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>(form2, "RB_dcom")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(form2, "SYSLOG_CHK")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit9")->text(), QString());
    EXPECT_FALSE(Find<QCheckBox>(form2, "showall")->isChecked());
    // Outside the groups a scan switches off.
    for (const char *group : {"GroupBox1", "f16", "GroupBox4"})
        EXPECT_FALSE(
            Find<QGroupBox>(form2, group)->isAncestorOf(Find<QCheckBox>(form2, "showall")));
    EXPECT_EQ(Find<QPushButton>(form2, "Button1")->text(), u"Close"_s);
    EXPECT_EQ(Find<QPushButton>(form2, "Button2")->text(), u"Set Default"_s);
    EXPECT_EQ(Find<QPushButton>(form2, "Button3")->text(), u"..."_s);

    auto *command = Find<QComboBox>(form2, "Edit7");
    EXPECT_TRUE(command->isEditable());
    EXPECT_EQ(command->currentText(), QString()); // until the settings are loaded
    ASSERT_GE(command->count(), 4);
    // Commands a Debian desktop can start come first; the older four stay.
    EXPECT_EQ(command->itemText(0), u"x-terminal-emulator -e ping $IP"_s);
    for (const QString &older : {u"cmd /K nbtstat -A $IP"_s, u"net send $IP \"Don't Sniff\""_s,
                                 u"cmd /K ping $IP"_s, u"explorer \\\\$IP"_s})
        EXPECT_GE(command->findText(older), 0) << older.toStdString();
}

struct FieldExit
{
    const char *field;
    const char16_t *typed;
    const char16_t *shown;
};

class ExitRules : public SetupDialogTest, public ::testing::WithParamInterface<FieldExit>
{
  protected:
    // The Node Timer takes input while rate pacing is off.
    ExitRules() { Find<QLineEdit>(form2, "SendRate")->setText(u"0"_s); }
};

TEST_P(ExitRules, ApplyWhenTheFieldIsLeft)
{
    auto *field = Find<QLineEdit>(form2, GetParam().field);
    ASSERT_NE(field, nullptr);
    TypeAndLeave(field, QString::fromUtf16(GetParam().typed));
    EXPECT_EQ(field->text(), QString::fromUtf16(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ExitRules,
    ::testing::Values(FieldExit{"Edit3", u"0", u"5"}, FieldExit{"Edit3", u"61", u"5"},
                      FieldExit{"Edit3", u"007", u"7"}, FieldExit{"Edit4", u"11", u"3"},
                      FieldExit{"Edit4", u"10", u"10"}, FieldExit{"Edit8", u"70000", u"60000"},
                      FieldExit{"Edit8", u"-5", u"0"}, FieldExit{"Edit8", u"abc", u"500"},
                      FieldExit{"Edit2", u"00:11:22:33:44:5F", u"00 11 22 33 44 50"},
                      FieldExit{"Edit2", u"00:11:22:33:44:5", u""},
                      // A group address is no card's own.
                      FieldExit{"Edit2", u"01:00:5E:00:00:00", u""},
                      FieldExit{"Edit1", u" 010.077.000.001", u"10.77.0.1"},
                      FieldExit{"Edit5", u"1-2-3-4-5-6", u"1 2 3 4 5 6"},
                      FieldExit{"Edit6", u"1-2-3-4-5-6-7", u""},
                      FieldExit{"Edit1", u"10.0.0.256", u""},
                      FieldExit{"Edit9", u" 10.77.0.9 ", u"10.77.0.9"},
                      FieldExit{"SendRate", u"2000000", u"1000000"},
                      FieldExit{"SendRate", u"fast", u"0"}));

// The send rate switches the Node Timer off, and the estimated sweep time
// follows the range, the tests and both pacing fields as they are edited.
TEST_F(SetupDialogTest, PacingFieldsShowWhatASweepCosts)
{
    // Typed into the main window, as a user does.
    QTest::keyClicks(Find<QLineEdit>(form1, "Edit1"), u"10.0.0.1"_s);
    QTest::keyClicks(Find<QLineEdit>(form1, "Edit2"), u"10.0.0.254"_s);
    auto *rate = Find<QLineEdit>(form2, "SendRate");
    auto *nodeTimer = Find<QLineEdit>(form2, "Edit8");
    auto *estimate = Find<QLabel>(form2, "SweepEstimate");
    ASSERT_TRUE(rate && nodeTimer && estimate);

    // 254 addresses x 5 tests x 3 frames.
    rate->setText(u"2000"_s);
    EXPECT_FALSE(nodeTimer->isEnabled());
    EXPECT_EQ(estimate->text(), u"One sweep of the range: 1.9 s"_s);
    rate->setText(u"20000"_s);
    EXPECT_EQ(estimate->text(), u"One sweep of the range: 0.19 s"_s);
    TestBoxes(form2)[0]->setChecked(false);
    EXPECT_EQ(estimate->text(), u"One sweep of the range: 0.15 s"_s);
    rate->setText(u"0"_s);
    EXPECT_TRUE(nodeTimer->isEnabled());
    EXPECT_EQ(estimate->text(), u"One sweep of the range: 2 min 7 s"_s);
    nodeTimer->setText(u"60000"_s);
    EXPECT_EQ(estimate->text(), u"One sweep of the range: 4 h 14 min"_s);
    EXPECT_EQ(model.Read().sendRate, 0);
}

// Each field is read into its setting as the user types: the model holds
// the value, the field what was typed until the user leaves it, also when
// the program shows the settings again meanwhile.
TEST_F(SetupDialogTest, FieldsAreReadOnceAsTypedAndKeepTheText)
{
    auto *ownIp = Find<QLineEdit>(form2, "Edit1");
    auto *packets = Find<QLineEdit>(form2, "Edit4");
    ownIp->setText(u"10.77.0"_s);
    EXPECT_EQ(model.Read().ownIp, std::nullopt);
    ownIp->setText(u"010.077.000.001"_s);
    packets->setText(u"07"_s);
    EXPECT_EQ(model.Read().ownIp, IpAddress::FromIpv4(0x0A4D0001));
    EXPECT_EQ(model.Read().packetCount, 7);
    linked.link.Show(model.Read());
    EXPECT_EQ(ownIp->text(), u"010.077.000.001"_s);
    EXPECT_EQ(packets->text(), u"07"_s);
    // A value the program changes is shown in its own form.
    Settings s = model.Read();
    s.packetCount = 9;
    s.ownIp.reset();
    linked.link.Show(s);
    EXPECT_EQ(packets->text(), u"9"_s);
    EXPECT_EQ(ownIp->text(), QString());
}

TEST_F(SetupDialogTest, MacFieldsTakeAtMost17TypedCharacters)
{
    for (QLineEdit *field : {Find<QLineEdit>(form2, "Edit2"), Find<QLineEdit>(form2, "Edit5"),
                             Find<QLineEdit>(form2, "Edit6")}) {
        field->clear();
        field->setFocus();
        QTest::keyClicks(field, u"00:11:22:33:44:55:66"_s);
        EXPECT_EQ(field->text(), u"00:11:22:33:44:55"_s);
    }
}

TEST_F(SetupDialogTest, SetDefaultResetsOnlyTheScanOptions)
{
    Find<QLineEdit>(form2, "Edit2")->setText(u"02 AA BB CC DD E0"_s);
    Find<QLineEdit>(form2, "Edit5")->setText(u"01 00 5E 00 00 02"_s);
    Find<QLineEdit>(form2, "Edit6")->setText(u"01 00 5E 00 00 04"_s);
    Find<QLineEdit>(form2, "logpath")->setText(u"other.log"_s);
    Find<QComboBox>(form2, "Edit7")->setEditText(u"xdg-open smb://$IP/"_s);
    Find<QRadioButton>(form2, "RB2")->setChecked(true);
    Find<QCheckBox>(form2, "showall")->setChecked(true);
    for (QCheckBox *box : TestBoxes(form2))
        box->setChecked(!box->isChecked());
    Find<QCheckBox>(form2, "ownIpSender")->setChecked(true);
    EXPECT_EQ(model.Read().probeSenderIp, ProbeSenderIp::Own);
    Find<QCheckBox>(form2, "FastScan")->setChecked(false);
    Find<QCheckBox>(form2, "Cyclicscan")->setChecked(false);
    Find<QCheckBox>(form2, "ConfirmSuspects")->setChecked(false);
    EXPECT_FALSE(model.Read().confirmSuspects);
    Find<QLineEdit>(form2, "Edit3")->setText(u"9"_s);
    Find<QLineEdit>(form2, "Edit4")->setText(u"1"_s);
    Find<QLineEdit>(form2, "Edit8")->setText(u"0"_s);

    QTest::mouseClick(Find<QPushButton>(form2, "Button2"), Qt::LeftButton);

    const Settings s = model.Read();
    EXPECT_EQ(s.tests, Settings().tests);
    EXPECT_EQ(s.probeSenderIp, ProbeSenderIp::Zero);
    EXPECT_FALSE(Find<QCheckBox>(form2, "ownIpSender")->isChecked());
    EXPECT_TRUE(s.listMode);
    EXPECT_TRUE(s.cyclic);
    EXPECT_TRUE(s.confirmSuspects);
    EXPECT_EQ(s.scanTimerSeconds, 5);
    EXPECT_EQ(s.packetCount, 3);
    EXPECT_EQ(s.nodeTimerMs, 500);
    EXPECT_EQ(s.ownMac, MacFromText(u"02 AA BB CC DD E0"_s));
    EXPECT_EQ(s.sp1Mac, MacFromText(u"01 00 5E 00 00 02"_s));
    EXPECT_EQ(s.sp2Mac, MacFromText(u"01 00 5E 00 00 04"_s));
    EXPECT_EQ(s.logPath, u"other.log"_s);
    EXPECT_EQ(s.command, u"xdg-open smb://$IP/"_s);
    EXPECT_EQ(s.format, FrameFormat::Ieee8023);
    EXPECT_TRUE(s.showAll);
}

TEST_F(SetupDialogTest, ColumnsFollowShowAllAndTheTestBoxesOnlyWhenApplied)
{
    linked.link.ShowTestColumns();
    EXPECT_EQ(VisibleResultColumns(), u"1111100000"_s);
    Find<QCheckBox>(form2, "showall")->setChecked(true);
    EXPECT_EQ(VisibleResultColumns(), u"1111111111"_s);
    for (QCheckBox *box : TestBoxes(form2))
        box->setChecked(false);
    Find<QCheckBox>(form2, "fbr")->setChecked(true);
    Find<QCheckBox>(form2, "M2")->setChecked(true);
    Find<QCheckBox>(form2, "showall")->setChecked(false);
    EXPECT_EQ(VisibleResultColumns(), u"1000000100"_s);
    Find<QCheckBox>(form2, "f31")
        ->setChecked(true); // counts from the next Show all click or scan start
    EXPECT_EQ(VisibleResultColumns(), u"1000000100"_s);
    linked.link.ShowTestColumns();
    EXPECT_EQ(VisibleResultColumns(), u"1100000100"_s);
}

TEST_F(SetupDialogTest, ScanModeChangesShowInTheStatusBarWhileTyping)
{
    Find<QCheckBox>(form2, "FastScan")->setChecked(false);
    EXPECT_EQ(form1.PanelText(1), u"Cyclic"_s);
    Find<QCheckBox>(form2, "Cyclicscan")->setChecked(false);
    EXPECT_EQ(form1.PanelText(1), u"Normal"_s);
    Find<QLineEdit>(form2, "Edit3")->setFocus();
    Find<QLineEdit>(form2, "Edit3")->selectAll();
    QTest::keyClicks(Find<QLineEdit>(form2, "Edit3"), u"4"_s);
    EXPECT_EQ(form1.PanelText(4), u"4 s"_s);
    QTest::keyClicks(Find<QLineEdit>(form2, "Edit3"), u"2"_s);
    EXPECT_EQ(form1.PanelText(4), u"42 s"_s);
    Find<QLineEdit>(form2, "Edit4")->setText(u"8"_s);
    Find<QLineEdit>(form2, "Edit8")->setText(u"250"_s);
    EXPECT_EQ(form1.PanelText(3), u"8 pkt"_s);
    // The send rate, when set, paces instead of the Node Timer.
    Find<QLineEdit>(form2, "SendRate")->setText(u"100"_s);
    EXPECT_EQ(form1.PanelText(5), u"100/s"_s);
    Find<QLineEdit>(form2, "SendRate")->setText(u"0"_s);
    EXPECT_EQ(form1.PanelText(5), u"250 ms"_s);
    QTest::mouseClick(Find<QPushButton>(form2, "Button2"), Qt::LeftButton);
    EXPECT_EQ(form1.PanelText(1), u"List & Cyclic"_s);
    EXPECT_EQ(form1.PanelText(4), u"5 s"_s);
}

TEST_F(SetupDialogTest, EnterInAFieldPressesNoButton)
{
    Find<QCheckBox>(form2, "fbr")->setChecked(false);
    form2.activateWindow();
    Find<QLineEdit>(form2, "Edit1")->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Find<QLineEdit>(form2, "Edit1")->hasFocus(); }));
    QTest::keyClick(Find<QLineEdit>(form2, "Edit1"), Qt::Key_Return);
    EXPECT_FALSE(Find<QCheckBox>(form2, "fbr")->isChecked());
    EXPECT_TRUE(form2.isVisible());
}

TEST_F(SetupDialogTest, ScanLocksOnlyTheOwnPcScanOptionsAndLogGroups)
{
    form2.SetScanGroupsEnabled(false);
    EXPECT_FALSE(Find<QComboBox>(form2, "CB1")->isEnabled());
    EXPECT_FALSE(Find<QLineEdit>(form2, "Edit2")->isEnabled());
    EXPECT_FALSE(Find<QCheckBox>(form2, "fbr")->isEnabled());
    EXPECT_FALSE(Find<QLineEdit>(form2, "Edit8")->isEnabled());
    EXPECT_FALSE(Find<QRadioButton>(form2, "RB2")->isEnabled());
    EXPECT_FALSE(Find<QCheckBox>(form2, "ownIpSender")->isEnabled());
    EXPECT_FALSE(Find<QLineEdit>(form2, "logpath")->isEnabled());
    EXPECT_FALSE(Find<QLineEdit>(form2, "Edit9")->isEnabled());
    EXPECT_TRUE(Find<QComboBox>(form2, "Edit7")->isEnabled());
    EXPECT_TRUE(Find<QCheckBox>(form2, "showall")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(form2, "Button1")->isEnabled());
    form2.SetScanGroupsEnabled(true);
    EXPECT_TRUE(Find<QLineEdit>(form2, "SendRate")->isEnabled());
}

TEST_F(SetupDialogTest, ReadTakesEveryControlAndTheMainWindowsFour)
{
    Find<QLineEdit>(form1, "Edit1")->setText(u"10.77.0.1"_s);
    Find<QLineEdit>(form1, "Edit2")->setText(u"10.77.0.9"_s);
    Find<QCheckBox>(form1, "scrollcheck")->setChecked(false);
    Find<QCheckBox>(form1, "BeepCheck")->setChecked(true);
    form2.SetAdapters(Adapters);
    EXPECT_EQ(model.Read().adapter, NetworkAdapter{});
    Find<QComboBox>(form2, "CB1")->setCurrentIndex(1);
    Find<QLineEdit>(form2, "Edit1")->setText(u"192.168.1.4"_s);
    Find<QCheckBox>(form2, "M1")->setChecked(true);
    Find<QCheckBox>(form2, "fs2")->setChecked(true);
    Find<QRadioButton>(form2, "RB_dcom")->setChecked(true);
    Find<QCheckBox>(form2, "SYSLOG_CHK")->setChecked(true);
    Find<QLineEdit>(form2, "Edit9")->setText(u"10.77.0.9"_s);
    Find<QCheckBox>(form2, "SYSLOG5424_CHK")->setChecked(true);
    Find<QComboBox>(form2, "Edit7")->setEditText(u"x-terminal-emulator -e ping $IP"_s);

    const Settings s = model.Read();
    EXPECT_EQ(s.from, u"10.77.0.1"_s);
    EXPECT_EQ(s.to, u"10.77.0.9"_s);
    EXPECT_FALSE(s.autoScroll);
    EXPECT_TRUE(s.beep);
    EXPECT_EQ(s.adapter, Adapters[1]);
    EXPECT_EQ(s.adapter.name, u"eth0"_s);
    EXPECT_EQ(s.ownIp, IpFromText(u"192.168.1.4"_s));
    EXPECT_TRUE(s.TestEnabled(8));
    EXPECT_TRUE(s.TestEnabled(11));
    EXPECT_FALSE(s.TestEnabled(10));
    EXPECT_FALSE(s.tabDelimiter);
    EXPECT_TRUE(s.syslog);
    EXPECT_EQ(s.syslogServer, IpFromText(u"10.77.0.9"_s));
    EXPECT_TRUE(s.syslogRfc5424);
    EXPECT_EQ(s.command, u"x-terminal-emulator -e ping $IP"_s);
}

// The transport is chosen from a list of the three; the numbers are read
// through their rules.
TEST_F(SetupDialogTest, SyslogTransportControlsReachTheSettings)
{
    auto *transport = Find<QComboBox>(form2, "SYSLOG_TRANSPORT");
    EXPECT_EQ(transport->currentText(), u"UDP"_s);
    transport->setCurrentIndex(2);
    Find<QLineEdit>(form2, "SYSLOG_CA")->setText(u"/etc/keelwatch/ca.pem"_s);
    Find<QLineEdit>(form2, "SYSLOG_CERT")->setText(u"/etc/keelwatch/client.pem"_s);
    Find<QLineEdit>(form2, "SYSLOG_SPOOL")->setText(u"4096"_s);
    Find<QLineEdit>(form2, "SYSLOG_MAXLEN")->setText(u"8192"_s);
    Settings s = model.Read();
    EXPECT_EQ(s.syslogTransport, SyslogTransport::Tls);
    EXPECT_EQ(s.syslogCaFile, u"/etc/keelwatch/ca.pem"_s);
    EXPECT_EQ(s.syslogCertFile, u"/etc/keelwatch/client.pem"_s);
    EXPECT_EQ(s.SyslogSpoolBytes(), 4096 * 1024);
    EXPECT_EQ(s.syslogMaxBytes, 8192);

    s.syslogTransport = SyslogTransport::Udp;
    linked.link.Show(s);
    EXPECT_EQ(transport->currentText(), u"UDP"_s);
    transport->setCurrentIndex(1);
    EXPECT_EQ(model.Read().syslogTransport, SyslogTransport::Tcp);
    Find<QLineEdit>(form2, "SYSLOG_SPOOL")->setText(u"99999999"_s);
    Find<QLineEdit>(form2, "SYSLOG_MAXLEN")->setText(u"2k"_s);
    EXPECT_EQ(model.Read().syslogSpoolKib, 65536);
    EXPECT_EQ(model.Read().syslogMaxBytes, 2048);
}

TEST_F(SetupDialogTest, SettingsRoundTripThroughTheFile)
{
    form2.SetAdapters(Adapters);
    Find<QComboBox>(form2, "CB1")->setCurrentIndex(0);
    Find<QLineEdit>(form1, "Edit1")->setText(u"10.77.0.1"_s);
    Find<QLineEdit>(form1, "Edit2")->setText(u"10.77.0.254"_s);
    Find<QCheckBox>(form1, "BeepCheck")->setChecked(true);
    Find<QLineEdit>(form2, "Edit1")->setText(u"10.77.0.100"_s);
    Find<QLineEdit>(form2, "Edit2")->setText(u"02 AA BB CC DD E0"_s);
    Find<QLineEdit>(form2, "Edit5")->setText(u"01 00 5E 00 00 02"_s);
    for (QCheckBox *box : TestBoxes(form2))
        box->setChecked(!box->isChecked());
    Find<QRadioButton>(form2, "RB2")->setChecked(true); // not stored
    Find<QCheckBox>(form2, "ownIpSender")->setChecked(true);
    Find<QCheckBox>(form2, "Cyclicscan")->setChecked(false);
    Find<QLineEdit>(form2, "Edit3")->setText(u"60"_s);
    Find<QRadioButton>(form2, "RB_dcom")->setChecked(true);
    Find<QCheckBox>(form2, "showall")->setChecked(true);
    Find<QComboBox>(form2, "Edit7")->setEditText(u"explorer \\\\$IP"_s);
    form2.close(); // the close box saves
    EXPECT_FALSE(form2.isVisible());

    LinkedSetup second;
    SetupDialog &other = second.form2;
    MainWindow &otherMain = second.form1;
    second.link.Load({{u"KW-SCAN"_s, Adapters[0].address}}, {});
    Settings expected = model.Read();
    expected.format = FrameFormat::Ethernet2;
    expected.adapter = {u"KW-SCAN"_s, *IpFromText(u"10.77.0.100"_s)};
    const Settings loaded = second.model.Read();
    EXPECT_EQ(other.Values().ownMac, expected.ownMac);
    EXPECT_EQ(loaded.from, expected.from);
    EXPECT_EQ(loaded.to, expected.to);
    EXPECT_EQ(loaded.beep, expected.beep);
    EXPECT_EQ(loaded.adapter, expected.adapter);
    EXPECT_EQ(loaded.ownIp, expected.ownIp);
    EXPECT_EQ(loaded.ownMac, expected.ownMac);
    EXPECT_EQ(loaded.sp1Mac, expected.sp1Mac);
    EXPECT_EQ(loaded.tests, expected.tests);
    EXPECT_EQ(loaded.format, FrameFormat::Ethernet2);
    EXPECT_EQ(loaded.probeSenderIp, ProbeSenderIp::Own);
    EXPECT_TRUE(Find<QCheckBox>(other, "ownIpSender")->isChecked());
    EXPECT_EQ(loaded.cyclic, false);
    EXPECT_EQ(loaded.scanTimerSeconds, 60);
    EXPECT_FALSE(loaded.tabDelimiter);
    EXPECT_TRUE(Find<QRadioButton>(other, "RB_dcom")->isChecked());
    EXPECT_TRUE(loaded.showAll);
    EXPECT_EQ(loaded.command, u"explorer \\\\$IP"_s);
    // Loading ends by applying the columns of the loaded switches.
    auto *otherGrid = Find<NodeGrid>(otherMain, "SG");
    for (int column = 2; column <= 11; ++column) {
        EXPECT_FALSE(otherGrid->isColumnHidden(column)) << column;
        EXPECT_EQ(otherGrid->columnWidth(column), otherGrid->ResultColumnWidth()) << column;
    }
}

TEST_F(SetupDialogTest, BothDelimiterFlagsOffLoadAsComma)
{
    form2.close();
    auto store = OpenSettingsStore();
    store->setValue(u"DTAB"_s, 0);
    store->setValue(u"DCOM"_s, 0);
    store->sync();
    LinkedSetup second;
    SetupDialog &other = second.form2;
    second.link.Load({}, {});
    EXPECT_FALSE(Find<QRadioButton>(other, "RB_dtab")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>(other, "RB_dcom")->isChecked());
    EXPECT_EQ(second.model.Read().Delimiter(), u',');
}

TEST_F(SetupDialogTest, FirstRunLoadsTheDefaultCommandAndOwnMac)
{
    Find<QLineEdit>(form2, "Edit2")->clear();
    linked.link.Load({}, {});
    EXPECT_EQ(Find<QComboBox>(form2, "Edit7")->currentText(), u"x-terminal-emulator -e ping $IP"_s);
    // An own MAC of this installation's: locally administered, unicast, its
    // last digit 0, never the one all installations once shared.
    const auto own = MacAddress::FromText(Find<QLineEdit>(form2, "Edit2")->text());
    ASSERT_TRUE(own);
    EXPECT_EQ(own->bytes[0] & 0x03, 0x02);
    EXPECT_EQ(own->bytes[5] & 0x0F, 0);
    EXPECT_NE(own->ToText(u' '), u"00 11 22 33 44 50"_s);
    EXPECT_EQ(Find<QComboBox>(form2, "CB1")->currentIndex(), -1);
}

TEST_F(SetupDialogTest, CloseButtonHidesWithoutSaving)
{
    QTest::mouseClick(Find<QPushButton>(form2, "Button1"), Qt::LeftButton);
    EXPECT_FALSE(form2.isVisible());
    EXPECT_TRUE(OpenSettingsStore()->allKeys().isEmpty());
}

TEST_F(SetupDialogTest, LongStoredAddressIsNotCutIntoAnotherOne)
{
    OpenSettingsStore()->setValue(u"FS1MAC"_s, u" 01:00:5E:00:00:02 "_s);
    linked.link.Load({}, {});
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit5")->text(), u"01 00 5E 00 00 02"_s);
    // Read whole, a longer text is the address it names or none.
    OpenSettingsStore()->setValue(u"FS1MAC"_s, u"01:00:5E:00:00:004"_s);
    linked.link.Load({}, {});
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit5")->text(), u"01 00 5E 00 00 04"_s);
    OpenSettingsStore()->setValue(u"FS1MAC"_s, u"01:00:5E:00:00:02:03"_s);
    linked.link.Load({}, {});
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit5")->text(), QString());
}

TEST_F(SetupDialogTest, ValuesShownByTheProgramReachBothWindowsAndAnnounceNothing)
{
    int edits = 0;
    QObject::connect(&form2, &SetupDialog::valuesEdited, [&] { ++edits; });
    Settings s = model.Read();
    s.from = u"10.0.0.1"_s;
    s.beep = true;
    s.sp1Mac = MacFromText(u"01 00 5E 00 00 02"_s);
    s.tests[size_t(TestIndex(u"M3"))] = true;
    s.tabDelimiter = false;
    s.commaDelimiter = true;
    linked.link.Show(s);
    EXPECT_EQ(edits, 0);
    EXPECT_EQ(model.Read(), s);
    EXPECT_EQ(form2.Values(), s);
    EXPECT_EQ(Find<QLineEdit>(form1, "Edit1")->text(), u"10.0.0.1"_s);
    EXPECT_TRUE(Find<QCheckBox>(form1, "BeepCheck")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit5")->text(), u"01 00 5E 00 00 02"_s);
    EXPECT_TRUE(Find<QCheckBox>(form2, "M2")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(form2, "RB_dcom")->isChecked());
    // A user's edit afterwards is taken in at once.
    Find<QLineEdit>(form1, "Edit2")->setText(u"10.0.0.9"_s);
    Find<QCheckBox>(form2, "fm")->setChecked(true);
    EXPECT_EQ(model.Read().to, u"10.0.0.9"_s);
    EXPECT_TRUE(model.Read().TestEnabled(7));
    EXPECT_EQ(model.Read().sp1Mac, MacFromText(u"01 00 5E 00 00 02"_s));
}

TEST_F(SetupDialogTest, LogFileChooserPutsTheChosenPathIntoTheField)
{
    QTemporaryDir dir;
    const QString chosen = dir.filePath(u"new.log"_s); // need not exist
    QTimer::singleShot(0, &form2, [&] {
        Find<QFileDialog>(form2, "LogDialog")->selectFile(chosen);
        static_cast<QDialog *>(Find<QFileDialog>(form2, "LogDialog"))->accept();
    });
    QTest::mouseClick(Find<QPushButton>(form2, "Button3"), Qt::LeftButton);
    EXPECT_EQ(Find<QLineEdit>(form2, "logpath")->text(), chosen);

    QTimer::singleShot(0, &form2, [&] { Find<QFileDialog>(form2, "LogDialog")->reject(); });
    QTest::mouseClick(Find<QPushButton>(form2, "Button3"), Qt::LeftButton);
    EXPECT_EQ(Find<QLineEdit>(form2, "logpath")->text(), chosen);
}

// Picking an interface fills the own IP with its address, and offers its
// network as the range while From and To are both empty.
struct AdapterPick
{
    const char *name;
    int adapter;
    const char16_t *fromBefore;
    const char16_t *toBefore;
    const char16_t *ownIp;
    const char16_t *from;
    const char16_t *to;
};

class AdapterChoice : public SetupDialogTest, public ::testing::WithParamInterface<AdapterPick>
{
};

TEST_P(AdapterChoice, FillsTheOwnIpAndOffersTheRange)
{
    const AdapterPick &pick = GetParam();
    form2.SetAdapters(Adapters);
    Find<QLineEdit>(form2, "Edit1")->setText(u"10.0.0.1"_s);
    Find<QLineEdit>(form1, "Edit1")->setText(QString::fromUtf16(pick.fromBefore));
    Find<QLineEdit>(form1, "Edit2")->setText(QString::fromUtf16(pick.toBefore));
    Find<QComboBox>(form2, "CB1")->setCurrentIndex(pick.adapter);
    const Settings s = model.Read();
    EXPECT_EQ(s.adapter, Adapters[pick.adapter]);
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit1")->text(), QString::fromUtf16(pick.ownIp));
    EXPECT_EQ(s.ownIp ? s.ownIp->ToText() : QString(), QString::fromUtf16(pick.ownIp));
    EXPECT_EQ(s.from, QString::fromUtf16(pick.from));
    EXPECT_EQ(s.to, QString::fromUtf16(pick.to));
    EXPECT_EQ(Find<QLineEdit>(form1, "Edit1")->text(), s.from);
    EXPECT_EQ(Find<QLineEdit>(form1, "Edit2")->text(), s.to);
}

INSTANTIATE_TEST_SUITE_P(
    Picks, AdapterChoice,
    ::testing::Values(
        AdapterPick{"EmptyRange", 0, u"", u"", u"10.77.0.100", u"10.77.0.1", u"10.77.0.254"},
        AdapterPick{"FromTyped", 0, u"10.77.0.5", u"", u"10.77.0.100", u"10.77.0.5", u""},
        AdapterPick{"ToTyped", 0, u"", u"10.77.0.9", u"10.77.0.100", u"", u"10.77.0.9"},
        AdapterPick{"RangeKept", 0, u"10.0.0.1", u"10.0.0.9", u"10.77.0.100", u"10.0.0.1",
                    u"10.0.0.9"},
        AdapterPick{"NetworkUnknown", 1, u"", u"", u"192.168.1.4", u"", u""}),
    [](const auto &info) { return std::string(info.param.name); });

// Settings shown by the program keep their own IP, even one that differs
// from the interface's address.
TEST_F(SetupDialogTest, RestoredAdapterKeepsTheStoredOwnIp)
{
    form2.SetAdapters(Adapters);
    Settings stored;
    stored.adapter = Adapters[0];
    stored.ownIp = IpAddress::FromIpv4(0x0A4D0063);
    linked.link.Show(stored);
    EXPECT_EQ(Find<QLineEdit>(form2, "Edit1")->text(), u"10.77.0.99"_s);
    EXPECT_EQ(Find<QLineEdit>(form1, "Edit1")->text(), QString());
}

// On a real X server with a window manager, at the screen sizes CTest gives
// (1366x768 at 1x, 1920x1080 at 1.5x): the whole dialog, Close included, is
// on the screen, and every group can be scrolled to.
TEST(SetupOnScreen, FitsWithCloseInViewAndScrollsToEveryGroup)
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        GTEST_SKIP() << "needs an X server; CTest runs it under xvfb-run";
    NodeList nodes;
    MainWindow form1{nodes};
    form1.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form1));
    SetupDialog form2(&form1);
    form2.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form2));
    // The window manager puts its frame around the dialog.
    QTest::qWait(300);
    const QRect screen = form2.screen()->geometry();
    const QRect frame = form2.frameGeometry();
    EXPECT_TRUE(screen.contains(frame))
        << "screen " << screen.width() << "x" << screen.height() << ", dialog at " << frame.x()
        << "," << frame.y() << " " << frame.width() << "x" << frame.height();
    auto *close = Find<QPushButton>(form2, "Button1");
    const QRect closeRect(close->mapToGlobal(QPoint(0, 0)), close->size());
    EXPECT_TRUE(screen.contains(closeRect));
    auto *scroller = Find<QScrollArea>(form2, "SetupScroll");
    for (const char *last : {"Edit7", "GroupBox2"}) {
        auto *control = Find<QWidget>(form2, last);
        scroller->ensureWidgetVisible(control);
        QCoreApplication::processEvents();
        const QRect shown(control->mapTo(scroller->viewport(), QPoint(0, 0)), control->size());
        EXPECT_TRUE(scroller->viewport()->rect().contains(shown)) << last;
    }
    EXPECT_FALSE(scroller->horizontalScrollBar()->isVisible());
    // The user may make it larger or smaller.
    EXPECT_NE(form2.minimumSize(), form2.maximumSize());
}

} // namespace
