#include "core/nodecolumns.h"
#include "core/nodelist.h"
#include "core/scanassembly.h"
#include "support/eventrecorder.h"
#include "support/eventwait.h"
#include "support/memorydriver.h"
#include "support/quietscan.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

// The segment: 10.0.0.2 a sniffer, 10.0.0.3 a normal card; the scanner is
// 10.0.0.1 (00 11 22 33 44 50) and scans 10.0.0.1 to 10.0.0.6.
constexpr quint32 Sniffer = 0x0A000002;
constexpr quint32 Normal = 0x0A000003;
constexpr quint32 Nobody = 0x0A000006;

MacBytes HostMac(quint32 ip)
{
    return {0x02, 0x77, 0x00, 0x00, 0x00, std::uint8_t(ip)};
}

void PutIp(QByteArray &frame, int at, quint32 ip)
{
    for (int i = 0; i < 4; ++i)
        frame[at + i] = char(ip >> (24 - 8 * i));
}

void PutMac(QByteArray &frame, int at, const MacBytes &mac)
{
    for (int i = 0; i < 6; ++i)
        frame[at + i] = char(mac[size_t(i)]);
}

quint32 TargetIp(const QByteArray &request)
{
    const auto *b = reinterpret_cast<const std::uint8_t *>(request.constData());
    return quint32(b[38]) << 24 | quint32(b[39]) << 16 | quint32(b[40]) << 8 | b[41];
}

bool IsConfirmationProbe(const QByteArray &request)
{
    return request.mid(6, 5) != QByteArray::fromHex("0011223344");
}

// The well-formed reply that ip (with mac) gives to a probe.
QByteArray ReplyTo(const QByteArray &request, quint32 ip, const MacBytes &mac)
{
    QByteArray frame(42, '\0');
    frame.replace(0, 6, request.mid(6, 6)); // to the probe's source
    PutMac(frame, 6, mac);
    frame.replace(12, 8, QByteArray::fromHex("0806000108000604"));
    frame[21] = 0x02;
    PutMac(frame, 22, mac);
    PutIp(frame, 28, ip);
    frame.replace(32, 10, request.mid(22, 10)); // the probe's sender MAC and IP
    return frame;
}

using Forge = std::function<std::vector<QByteArray>(const QByteArray &request)>;

// Answers every probe that is not a confirmation probe with a reply in the
// name of 10.0.0.6, which nobody holds, changed by change.
Forge ClaimNobody(std::function<void(QByteArray &)> change)
{
    return [change](const QByteArray &request) -> std::vector<QByteArray> {
        if (IsConfirmationProbe(request))
            return {};
        QByteArray frame = ReplyTo(request, Nobody, {0x02, 0x66, 0x00, 0x00, 0x00, 0x06});
        change(frame);
        return {frame};
    };
}

std::function<void(QByteArray &)> SetByte(int at, char value)
{
    return [at, value](QByteArray &frame) { frame[at] = value; };
}

std::function<void(QByteArray &)> SenderIp(quint32 ip)
{
    return [ip](QByteArray &frame) { PutIp(frame, 28, ip); };
}

std::function<void(QByteArray &)> SenderMac(const MacBytes &mac)
{
    return [mac](QByteArray &frame) {
        PutMac(frame, 6, mac);
        PutMac(frame, 22, mac);
    };
}

struct ForgeryCase
{
    const char *name;
    Forge forge;
    // The forged frames claim to be for this scan and are counted.
    bool counted = true;
    bool listMode = false;
};

// What a scan found: nodes with marks and verdicts, and its events.
struct Outcome
{
    QStringList nodes;
    QStringList events;
    int rejected = 0;
};

Outcome RunScan(const Forge &forge, bool listMode)
{
    auto driver = std::make_shared<MemoryDriver>();
    driver->AddHost(Sniffer, {.kind = SimulatedCard::Kind::Promiscuous, .own = HostMac(Sniffer)});
    driver->AddHost(Normal, {.own = HostMac(Normal)});
    if (forge)
        driver->SetForger(forge);
    FixedSettings settings;
    Settings &s = settings.values;
    s = MemoryScanSettings(u"10.0.0.1"_s, u"10.0.0.6"_s);
    s.cyclic = false;
    s.listMode = listMode;
    s.scanTimerSeconds = 1;
    s.confirmSuspects = true;
    NodeList nodes;
    ScanEvents events;
    EventRecorder recorded(events);
    QuietScanWindows windows;
    NoEventLog log;
    FixedClock clock{QDateTime(QDate(2026, 12, 8), QTime(1, 0))};
    ScanAssembly scan(ScanAssembly::Parts{driver, windows, windows, settings, nodes, windows,
                                          events, log, clock});
    ScanController &controller = scan.Controller();
    controller.Start();
    EXPECT_TRUE(controller.Running()) << windows.messages.join(u'|').toStdString();
    EXPECT_TRUE(WaitUntil([&] { return !controller.Running(); }, 15000));

    Outcome outcome;
    for (const Node &node : nodes.All()) {
        QStringList cells;
        for (int column = 0; column < NodeColumn::Count; ++column)
            cells.append(NodeCellText(node, column));
        outcome.nodes.append(cells.join(u'|') + u' ' +
                             QString::number(nodes.ConfirmationAnswers(node.ip).value_or(-1)));
    }
    for (const ScanEvent &event : recorded.events) {
        if (event.kind == ScanEventKind::RepliesRejected)
            outcome.rejected += event.count;
        else
            outcome.events.append(EventText(event) + u' ' + event.node.mac.ToText());
    }
    EXPECT_TRUE(WaitUntil([&] { return scan.Workers().LiveWorkers() == 0; }));
    return outcome;
}

const Outcome &CleanRun(bool listMode)
{
    static const Outcome plain = RunScan({}, false);
    static const Outcome listed = RunScan({}, true);
    return listMode ? listed : plain;
}

class ForgedReplies : public testing::TestWithParam<ForgeryCase>
{
};

TEST_P(ForgedReplies, ChangeNoNodeMarkOrVerdictAndAreCounted)
{
    const ForgeryCase &c = GetParam();
    const Outcome &clean = CleanRun(c.listMode);
    // The clean scan finds both hosts and confirms the sniffer alone.
    ASSERT_EQ(clean.nodes.size(), 2);
    EXPECT_TRUE(clean.events.contains(
        u"CONFIRMED %1 10.0.0.2 02:77:00:00:00:02"_s.arg(ConfirmationProbeCount)))
        << clean.events.join(u'\n').toStdString();
    EXPECT_EQ(clean.rejected, 0);

    const Outcome forged = RunScan(c.forge, c.listMode);
    EXPECT_EQ(forged.nodes, clean.nodes);
    EXPECT_EQ(forged.events, clean.events);
    if (c.counted)
        EXPECT_GT(forged.rejected, 0);
    else
        EXPECT_EQ(forged.rejected, 0);
}

const MacBytes Decoy = {0x02, 0xDE, 0xC0, 0x00, 0x00, 0x02};

INSTANTIATE_TEST_SUITE_P(
    Forgeries, ForgedReplies,
    testing::Values(ForgeryCase{"OutsideTheRange", ClaimNobody(SenderIp(0xC0000242))}, // 192.0.2.66
                    ForgeryCase{"FarOutsideTheRange",
                                ClaimNobody(SenderIp(0x0A4D00C8))}, // 10.77.0.200
                    ForgeryCase{"SenderZero", ClaimNobody(SenderIp(0))},
                    ForgeryCase{"SenderBroadcast", ClaimNobody(SenderIp(0xFFFFFFFF))},
                    ForgeryCase{"SenderGroup", ClaimNobody(SenderIp(0xE0000001))},
                    ForgeryCase{"SenderIsTheScanner", ClaimNobody(SenderIp(0x0A000001))},
                    ForgeryCase{"HardwareLength8", ClaimNobody(SetByte(18, 8))},
                    ForgeryCase{"ProtocolLength16", ClaimNobody(SetByte(19, 16))},
                    ForgeryCase{"HardwareType6", ClaimNobody(SetByte(15, 6))},
                    ForgeryCase{"ProtocolIpv6", ClaimNobody([](QByteArray &f) {
                                    f.replace(16, 2, QByteArray::fromHex("86DD"));
                                })},
                    ForgeryCase{"TargetIpNotOurs",
                                ClaimNobody([](QByteArray &f) { PutIp(f, 38, 0x0A000009); })},
                    ForgeryCase{"EthernetToSameFirstTwoBytes", ClaimNobody([](QByteArray &f) {
                                    f.replace(2, 4, QByteArray(4, '\xFF'));
                                })},
                    ForgeryCase{"SenderMacMulticast",
                                ClaimNobody(SenderMac({0x01, 0x00, 0x5E, 0, 0, 1}))},
                    ForgeryCase{"SenderMacBroadcast",
                                ClaimNobody(SenderMac({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}))},
                    ForgeryCase{"SenderMacZero", ClaimNobody(SenderMac({0, 0, 0, 0, 0, 0}))},
                    // Another instance on the same card, with an own MAC of its own: its
                    // replies are none of ours and not even counted.
                    ForgeryCase{"AnotherInstancesReply", ClaimNobody([](QByteArray &f) {
                                    f.replace(0, 6, QByteArray::fromHex("02AB00000052"));
                                    f.replace(32, 6, QByteArray::fromHex("02AB00000052"));
                                }),
                                false},
                    // List Mode's scanning step asks only the nodes it found: 10.0.0.6
                    // was not asked then.
                    ForgeryCase{"UnprobedIp",
                                [](const QByteArray &request) -> std::vector<QByteArray> {
                                    if (request.startsWith(QByteArray(6, '\xFF')) ||
                                        IsConfirmationProbe(request))
                                        return {};
                                    return {ReplyTo(request, Nobody, {0x02, 0x66, 0, 0, 0, 6})};
                                },
                                true, true},
                    // 24 copies of one answer to a confirmation probe count once: the
                    // sniffer answers every probe itself, so its count stays 24; the
                    // copies in the normal card's name count for nobody.
                    ForgeryCase{"DuplicateConfirmationAnswers",
                                [](const QByteArray &request) -> std::vector<QByteArray> {
                                    if (!IsConfirmationProbe(request))
                                        return {};
                                    std::vector<QByteArray> copies(
                                        ConfirmationProbeCount,
                                        ReplyTo(request, Sniffer, HostMac(Sniffer)));
                                    copies.insert(copies.end(), ConfirmationProbeCount,
                                                  ReplyTo(request, Normal, HostMac(Normal)));
                                    return copies;
                                },
                                false},
                    // Answers in the sniffer's name from a decoy card count for nobody
                    // and rename nothing: the verdict stays with the card that answered.
                    ForgeryCase{"DecoyMacAnswersConfirmation",
                                [](const QByteArray &request) -> std::vector<QByteArray> {
                                    if (!IsConfirmationProbe(request) ||
                                        TargetIp(request) != Sniffer)
                                        return {};
                                    return {ReplyTo(request, Sniffer, Decoy)};
                                },
                                false},
                    ForgeryCase{"Flood",
                                [](const QByteArray &request)
                                    -> std::
                                        vector<QByteArray> {
                                            static std::mt19937 random(7);
                                            std::vector<QByteArray> flood;
                                            for (int i = 0; i < 200; ++i) {
                                                const std::uint32_t bits = random();
                                                // Outside 10.0.0.0/24: a random address or MAC.
                                                QByteArray f =
                                                    ReplyTo(request, bits | 0x01000000,
                                                            {0x02, std::uint8_t(bits), 1, 2, 3, 4});
                                                flood.push_back(f);
                                            }
                                            return flood;
                                        }}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
