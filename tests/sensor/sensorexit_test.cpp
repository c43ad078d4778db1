#include "sensor/sensor.h"

#include "support/eventwait.h"
#include "support/memorydriver.h"
#include "support/quietscan.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

struct ExitCase
{
    const char *name;
    bool confirm;
    bool sniffer;
    int exitCode;
};

void PrintTo(const ExitCase &c, std::ostream *os)
{
    *os << c.name;
}

// A single sweep of the memory segment: 10.0.0.2 a normal card that joined
// M3's group (a filter coincidence, so a suspect), 10.0.0.3 promiscuous or
// normal.
class SensorExit : public testing::TestWithParam<ExitCase>
{
  protected:
    SensorExit()
    {
        options.once = true;
        options.settings = MemoryScanSettings(u"10.0.0.2"_s, u"10.0.0.3"_s);
        options.settings.cyclic = false;
        options.settings.scanTimerSeconds = 1;
        driver->AddHost(0x0A000002, {.own = {0x02, 0x77, 0, 0, 0, 2},
                                     .groups = {{0x01, 0x00, 0x5E, 0x00, 0x00, 0x03}}});
    }

    std::unique_ptr<Sensor> MakeSensor()
    {
        return std::make_unique<Sensor>(
            options, driver, programDir.path(),
            Sensor::Outputs{{}, [this](const QString &text) { errors << text; }});
    }

    std::shared_ptr<MemoryDriver> driver = std::make_shared<MemoryDriver>();
    SensorOptions options;
    QTemporaryDir programDir;
    QStringList errors;
};

// --once tells confirmed nodes (with confirmation) or suspects (without)
// by 1, a segment without them by 0.
TEST_P(SensorExit, OnceTellsWhatTheVerdictsFound)
{
    const ExitCase &c = GetParam();
    options.settings.confirmSuspects = c.confirm;
    SimulatedCard third{.own = {0x02, 0x77, 0, 0, 0, 3}};
    if (c.sniffer)
        third.kind = SimulatedCard::Kind::Promiscuous;
    driver->AddHost(0x0A000003, third);
    const auto sensor = MakeSensor();
    bool ended = false;
    sensor->SetScanEndedHandler([&] { ended = true; });
    ASSERT_TRUE(sensor->Start()) << errors.join(u'|').toStdString();
    ASSERT_TRUE(WaitUntil([&] { return ended; }, 20000));
    EXPECT_EQ(sensor->ExitCode(), c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(Verdicts, SensorExit,
                         testing::Values(ExitCase{"ConfirmedSniffer", true, true, 1},
                                         ExitCase{"FilterMatchOnly", true, false, 0},
                                         ExitCase{"SuspectWithoutConfirmation", false, false, 1},
                                         ExitCase{"SnifferWithoutConfirmation", false, true, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

// A sweep that a signal stops before its end has no result to tell: 2, even
// with a sniffer already heard.
TEST_F(SensorExit, InterruptedSweepExitsWithTwo)
{
    options.settings.to = u"10.0.255.254"_s;
    // A pause between addresses keeps the sweep going while it is stopped.
    options.settings.nodeTimerMs = 1;
    driver->AddHost(0x0A000003,
                    {.kind = SimulatedCard::Kind::Promiscuous, .own = {0x02, 0x77, 0, 0, 0, 3}});
    const auto sensor = MakeSensor();
    ASSERT_TRUE(sensor->Start()) << errors.join(u'|').toStdString();
    ASSERT_TRUE(WaitUntil([&] { return driver->Sent().size() > 40; }));
    sensor->Stop();
    EXPECT_FALSE(sensor->Running());
    EXPECT_EQ(sensor->ExitCode(), 2);
}

} // namespace
