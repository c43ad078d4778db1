#include "app/startup.h"
#include "config/settingsstore.h"
#include "scan/memorydriver.h"
#include "support/confighome.h"
#include "ui/aboutbox.h"
#include "ui/mainwindow.h"
#include "ui/setupdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

[[maybe_unused]] ConfigHome *const configHome = RegisterConfigHome();

class StartupOrder : public ::testing::Test
{
  protected:
    void SetUp() override { OpenSettingsStore()->clear(); }
};

TEST_F(StartupOrder, SetupDialogRestoresTheMainWindowsFourControls)
{
    {
        auto store = OpenSettingsStore();
        for (const StoredValue &v : LoadOrder)
            store->setValue(QString::fromUtf16(v.name),
                            v.kind == StoredKind::Flag ? QVariant(0) : QVariant(u"1"_s));
        store->setValue(u"TIPF"_s, u"10.77.0.1"_s);
        store->setValue(u"TIPT"_s, u"10.77.0.20"_s);
        store->setValue(u"Command"_s, u""_s);
    }
    Startup startup({});
    EXPECT_EQ(startup.Form1().Edit1->text(), u"10.77.0.1"_s);
    EXPECT_EQ(startup.Form1().Edit2->text(), u"10.77.0.20"_s);
    EXPECT_FALSE(startup.Form1().scrollcheck->isChecked());
    EXPECT_FALSE(startup.Form1().BeepCheck->isChecked());
    EXPECT_EQ(startup.Form2().Read().command, u"cmd /K nbtstat -A $IP"_s);
    EXPECT_FALSE(startup.Form2().isVisible());
    EXPECT_FALSE(startup.Form6().isVisible());
}

TEST_F(StartupOrder, ClosingTheMainWindowSavesAllSettingsWithoutSetupEverShown)
{
    Startup startup({});
    startup.Show();
    startup.Form2().Edit3->setText(u"17"_s);
    startup.Form1().Edit1->setText(u"10.77.0.3"_s);
    startup.Form1().close();
    auto store = OpenSettingsStore();
    EXPECT_EQ(store->allKeys().size(), StoredValueCount);
    EXPECT_EQ(store->value(u"IVTIME"_s).toString(), u"17"_s);
    EXPECT_EQ(store->value(u"TIPF"_s).toString(), u"10.77.0.3"_s);
}

std::shared_ptr<MemoryDriver> TwoAdapters()
{
    auto driver = std::make_shared<MemoryDriver>();
    driver->version = u"1.10.3"_s;
    driver->nameBuffer = AdapterNameBuffer({u"eth0"_s, u"lo"_s, u"wire0"_s}, false);
    driver->addresses = {{"eth0", 0xC0A80A0A}, {"wire0", 0x0A4D0001}};
    return driver;
}

TEST_F(StartupOrder, AdapterListIsFilledBeforeTheStoredInterfaceIsSelected)
{
    OpenSettingsStore()->setValue(u"NIC"_s, u"10.77.0.1 : wire0"_s);
    Startup startup({}, TwoAdapters());
    QComboBox &list = *startup.Form2().CB1;
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.itemText(0), u"192.168.10.10 : eth0"_s);
    EXPECT_EQ(list.currentText(), u"10.77.0.1 : wire0"_s);
    EXPECT_EQ(startup.Form1().PanelText(7), u"WinPcap1.10 "_s);
    EXPECT_EQ(startup.Form2().Read().adapterName(), u"wire0"_s);
}

TEST_F(StartupOrder, StoredInterfaceWhoseAddressChangedSelectsNothing)
{
    OpenSettingsStore()->setValue(u"NIC"_s, u"10.77.0.9 : wire0"_s);
    Startup startup({}, TwoAdapters());
    EXPECT_EQ(startup.Form2().CB1->currentIndex(), -1);
    EXPECT_TRUE(startup.Form2().Read().adapterItem.isEmpty());
}

TEST_F(StartupOrder, MenusShowTheDialogsWithoutBlocking)
{
    Startup startup({});
    startup.Show();
    startup.Form1().Setup1->trigger();
    EXPECT_TRUE(startup.Form2().isVisible());
    EXPECT_FALSE(startup.Form2().isModal());
    startup.Form1().About1->trigger();
    EXPECT_TRUE(startup.Form6().isVisible());
    startup.Form6().Button1->click();
    EXPECT_FALSE(startup.Form6().isVisible());
}

struct DisplayCase
{
    const char *name;
    const char *display;
    const char *wayland;
    const char *platform;
    QStringList arguments;
    bool available;
};

class Display : public ::testing::TestWithParam<DisplayCase>
{
  protected:
    void SetUp() override
    {
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            saved.append(qgetenv(name));
    }
    void TearDown() override
    {
        qputenv("DISPLAY", saved[0]);
        qputenv("WAYLAND_DISPLAY", saved[1]);
        qputenv("QT_QPA_PLATFORM", saved[2]);
    }
    QList<QByteArray> saved;
};

TEST_P(Display, IsFoundInTheEnvironmentOrArguments)
{
    qputenv("DISPLAY", GetParam().display);
    qputenv("WAYLAND_DISPLAY", GetParam().wayland);
    qputenv("QT_QPA_PLATFORM", GetParam().platform);
    EXPECT_EQ(DisplayAvailable(GetParam().arguments), GetParam().available);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, Display,
    ::testing::Values(DisplayCase{"None", "", "", "", {u"auto"_s}, false},
                      DisplayCase{"X", ":0", "", "", {}, true},
                      DisplayCase{"Wayland", "", "wayland-0", "", {}, true},
                      DisplayCase{"Platform", "", "", "offscreen", {}, true},
                      DisplayCase{
                          "PlatformArgument", "", "", "", {u"-platform"_s, u"vnc"_s}, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Program, WithoutADisplaySaysHowToGetOne)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        env.remove(name);
    program.setProcessEnvironment(env);
    program.start(QString::fromUtf8(KEELWATCH_BINARY), {u"auto"_s});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    const QString said = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(said.contains(u"desktop program"_s)) << said.toStdString();
    EXPECT_TRUE(said.contains(u"ssh -X"_s));
    EXPECT_TRUE(said.contains(u"xvfb-run -a"_s));
}

} // namespace
