#include "config/addresstext.h"
#include "scan/confirmationprobes.h"
#include "scan/confirmationsender.h"
#include "support/eventwait.h"
#include "support/memorydriver.h"
#include "support/simulatedcard.h"

#include <QThread>
#include <gtest/gtest.h>
#include <iostream>

#include <set>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

MacBytes Mac(std::initializer_list<std::uint8_t> bytes)
{
    MacBytes mac{};
    std::copy(bytes.begin(), bytes.end(), mac.begin());
    return mac;
}

Settings WithSpAddresses()
{
    Settings s;
    s.sp1Mac = MacFromText(u"01 00 5E 00 00 02"_s);
    s.sp2Mac = MacFromText(u"FF FF 12 34 56 78"_s);
    return s;
}

using F = ConfirmationFamily;

class DrawnDestinations : public testing::TestWithParam<std::uint64_t>
{
};

TEST_P(DrawnDestinations, AreDistinctGroupAddressesOfTheirFamilyAndNoneAHostListensTo)
{
    const Settings s = WithSpAddresses();
    std::mt19937_64 random(GetParam());
    const std::array<std::vector<std::uint8_t>, ConfirmationFamilyCount> prefixes{
        {{0xFF, 0xFF}, {0xFF}, {0x01}}};
    for (int f = 0; f < ConfirmationFamilyCount; ++f) {
        const std::vector<MacBytes> list =
            DrawConfirmationDestinations(s, ConfirmationFamily(f), random);
        ASSERT_EQ(int(list.size()), ConfirmationProbeCount);
        EXPECT_EQ(std::set<MacBytes>(list.begin(), list.end()).size(), list.size());
        for (const MacBytes &mac : list) {
            EXPECT_TRUE(
                std::equal(prefixes[size_t(f)].begin(), prefixes[size_t(f)].end(), mac.begin()));
            EXPECT_TRUE(UsableConfirmationDestination(mac, ConfirmationFamily(f), s));
        }
    }
    // Every batch draws other addresses.
    EXPECT_NE(DrawConfirmationDestinations(s, F::GroupBit, random),
              DrawConfirmationDestinations(s, F::GroupBit, random));
}

INSTANTIATE_TEST_SUITE_P(Seeds, DrawnDestinations, testing::Values(1u, 7u, 1234567u));

struct Refused
{
    MacBytes mac;
    ConfirmationFamily family;
};

class RefusedDestination : public testing::TestWithParam<Refused>
{
};

TEST_P(RefusedDestination, IsNeverDrawn)
{
    EXPECT_FALSE(
        UsableConfirmationDestination(GetParam().mac, GetParam().family, WithSpAddresses()));
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, RefusedDestination,
    testing::Values(Refused{Mac({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), F::TwoOnes},  // broadcast
                    Refused{Mac({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), F::OneOnes},  // broadcast
                    Refused{Mac({0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}), F::GroupBit}, // all hosts
                    Refused{Mac({0x01, 0x80, 0xC2, 0x00, 0x00, 0x0E}), F::GroupBit}, // bridges
                    Refused{Mac({0x33, 0x33, 0x00, 0x00, 0x00, 0x01}), F::GroupBit}, // IPv6
                    Refused{Mac({0x01, 0x00, 0x5E, 0x00, 0x00, 0x02}), F::GroupBit}, // SP1
                    Refused{Mac({0xFF, 0xFF, 0x12, 0x34, 0x56, 0x78}), F::TwoOnes},  // SP2
                    Refused{Mac({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}), F::TwoOnes},  // B47
                    Refused{Mac({0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}), F::OneOnes},  // B16
                    Refused{Mac({0x01, 0x00, 0x00, 0x00, 0x00, 0x00}), F::GroupBit}, // Gr
                    Refused{Mac({0xFF, 0x12, 0x00, 0x00, 0x00, 0x00}), F::TwoOnes},  // family
                    Refused{Mac({0x03, 0x12, 0x00, 0x00, 0x00, 0x00}), F::GroupBit}, // family
                    Refused{Mac({0x01, 0x12, 0x00, 0x00, 0x00, 0x00}), F::OneOnes}));

TEST(ConfirmationFamilies, FollowTheTestAddressAnswered)
{
    const std::vector<std::pair<std::u16string_view, std::optional<F>>> cases{
        {u"Br", std::nullopt}, {u"M1", std::nullopt}, {u"B47", F::TwoOnes}, {u"B16", F::TwoOnes},
        {u"B8", F::OneOnes},   {u"Gr", F::GroupBit},  {u"M0", F::GroupBit}, {u"M3", F::GroupBit},
        {u"SP1", F::GroupBit}, {u"SP2", F::GroupBit}};
    for (const auto &[label, family] : cases)
        EXPECT_EQ(FamilyOfColumn(FirstResultColumn + TestIndex(label)), family)
            << QString::fromUtf16(label.data(), label.size()).toStdString();
    EXPECT_EQ(FamilyOfColumn(ConfirmationSourceIndex), std::nullopt);
}

// Batches as answered groups and controls, and the verdict after each.
struct EvidenceCase
{
    const char *name;
    std::vector<std::pair<int, int>> batches;
    std::vector<ConfirmationVerdict> verdicts;
};

class ConfirmationEvidenceTest : public testing::TestWithParam<EvidenceCase>
{
};

// A batch of fresh group addresses, the first answered of them answered.
std::vector<GroupOutcome> FreshGroups(int answered)
{
    auto groups = std::vector<GroupOutcome>(ConfirmationProbeCount);
    for (int i = 0; i < answered && i < ConfirmationProbeCount; ++i)
        groups[size_t(i)].answered = true;
    return groups;
}

TEST_P(ConfirmationEvidenceTest, MovesBetweenTheBoundsAndHoldsInBetween)
{
    ConfirmationEvidence evidence;
    for (size_t i = 0; i < GetParam().batches.size(); ++i) {
        const auto [groups, controls] = GetParam().batches[i];
        EXPECT_EQ(WeighConfirmationBatch(evidence, FreshGroups(groups), controls), controls > 0)
            << i;
        EXPECT_EQ(evidence.verdict, GetParam().verdicts[i]) << i;
        EXPECT_GE(evidence.logRatio, ConfirmationLowerBound);
        EXPECT_LE(evidence.logRatio, ConfirmationUpperBound);
    }
}

constexpr int G = ConfirmationProbeCount;
constexpr int K = ConfirmationControlCount;
using V = ConfirmationVerdict;
INSTANTIATE_TEST_SUITE_P(
    Batches, ConfirmationEvidenceTest,
    testing::Values(EvidenceCase{"EverythingAnswered", {{G, K}}, {V::Confirmed}},
                    // 30% of replies lost: answers follow the controls, slower.
                    EvidenceCase{"LossyButEven", {{120, 40}, {120, 40}}, {V::None, V::Confirmed}},
                    // Half the buckets of a filter: clearly fewer than the controls.
                    EvidenceCase{"HalfTheGroups", {{G / 2, K}}, {V::FilterMatch}},
                    EvidenceCase{"AtTheNormalShare",
                                 {{G * 82 / 100, K}, {G * 82 / 100, K}},
                                 {V::FilterMatch, V::FilterMatch}},
                    // Silent controls say the node or the segment lost the batch.
                    EvidenceCase{"ControlsSilent", {{0, 0}, {G, 0}}, {V::None, V::None}},
                    // A sniffer that turns normal falls back, and confirms again.
                    EvidenceCase{"ChangesMode",
                                 {{G, K}, {G / 2, K}, {G, K}},
                                 {V::Confirmed, V::FilterMatch, V::Confirmed}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ConfirmationSenderTest, SendsOneCopyOfEachProbeToTheFamilyFromItsOwnSource)
{
    auto driver = std::make_shared<MemoryDriver>();
    auto in = std::make_shared<ScanInputs>();
    in->settings.adapter = {u"lab0"_s, *IpFromText(u"10.0.0.1"_s)};
    in->settings.ownIp = IpFromText(u"10.0.0.1"_s);
    in->settings.ownMac = OwnMacFromText(u"00 11 22 33 44 50"_s);
    in->probeSourceMacs = BuildProbeSourceMacs(*in->settings.ownMac);
    std::mt19937_64 random(3);
    in->confirmationSources = DrawConfirmationSources(*in->settings.ownMac, random);
    std::mt19937_64 draws(4);
    const std::vector<MacBytes> drawn =
        DrawConfirmationDestinations(in->settings, F::OneOnes, draws);
    const MacBytes nodeMac = Mac({0x02, 0x77, 0, 0, 0, 7});
    auto channel = std::make_shared<CaptureChannel>();
    channel->adapter = driver->PacketOpenAdapter(u"lab0"_s, ScanSenders(in->settings, {}), nullptr);
    ConfirmationSender sender(in, channel);
    sender.start();
    sender.Confirm(0x0A000007, nodeMac, drawn);
    EXPECT_TRUE(
        WaitUntil([&] { return driver->Sent().size() >= size_t(ConfirmationBatchProbes); }));
    sender.Abandon();
    sender.Join();

    const auto sent = driver->Sent();
    ASSERT_EQ(int(sent.size()), ConfirmationBatchProbes);
    std::set<int> probes;
    for (size_t k = 0; k < sent.size(); ++k) {
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(sent[k].bytes.constData());
        EXPECT_EQ(sent[k].writes, 1);
        // Every fourth probe is a control to the node's own MAC, each probe
        // from the source of its index.
        const size_t i = size_t(BatchProbeSentAt(int(k)));
        probes.insert(int(i));
        EXPECT_EQ(i >= drawn.size(), k % 4 == 3) << k;
        const MacBytes &to = i < drawn.size() ? drawn[i] : nodeMac;
        EXPECT_TRUE(std::equal(to.begin(), to.end(), bytes)) << k;
        // Source and ARP sender: the probe's own source address, sender IP
        // 0.0.0.0; target IP 10.0.0.7.
        const auto &source = in->confirmationSources[i];
        const QByteArray sourceBytes(reinterpret_cast<const char *>(source.data()), 6);
        EXPECT_EQ(sent[k].bytes.mid(6, 6), sourceBytes);
        EXPECT_EQ(sent[k].bytes.mid(22, 6), sourceBytes);
        EXPECT_EQ(sent[k].bytes.mid(28, 4).toHex(), "00000000");
        EXPECT_EQ(sent[k].bytes.mid(38, 4).toHex(), "0a000007");
    }
    EXPECT_EQ(int(probes.size()), ConfirmationBatchProbes);
    // The whole batch in one request, paced by the adapter at the gap a
    // segment's group queues take.
    EXPECT_EQ(driver->SendCalls(), 1);
    EXPECT_EQ(sent.front().gapNs, std::uint32_t(ConfirmationSender::ProbeGapUs * 1000));
}

// Each probe of a batch has a source address of its own, drawn afresh for
// every scan, that no other instance's or test's probe uses.
TEST(ConfirmationSources, AreDistinctLocallyAdministeredAndOutsideTheOwnBlock)
{
    const MacAddress own = *MacAddress::FromText(u"02:11:22:33:44:50"_s);
    std::mt19937_64 random(11);
    const std::vector<MacBytes> first = DrawConfirmationSources(own, random);
    const std::vector<MacBytes> second = DrawConfirmationSources(own, random);
    for (const std::vector<MacBytes> &sources : {first, second}) {
        ASSERT_EQ(int(sources.size()), ConfirmationBatchProbes);
        std::set<MacBytes> distinct(sources.begin(), sources.end());
        EXPECT_EQ(int(distinct.size()), ConfirmationBatchProbes);
        std::set<MacBytes> blocks;
        for (MacBytes mac : sources) {
            EXPECT_EQ(mac[0] & 0x03, 0x02); // locally administered, unicast
            mac[5] &= 0xF0;
            blocks.insert(mac);
        }
        EXPECT_EQ(blocks.size(), size_t(ConfirmationBatchProbes / 16 + 1));
        MacBytes ownBlock = own.bytes;
        ownBlock[5] &= 0xF0;
        EXPECT_FALSE(blocks.contains(ownBlock));
    }
    EXPECT_NE(first, second);
}

// The card kinds the memory driver simulates.
TEST(SimulatedCards, HashFilterPassesOnlyTheBucketsOfItsGroups)
{
    // 01:00:5E:00:00:01 and M3's 01:00:5E:00:00:03 differ in bucket; a
    // joined M3 lets M3 through and every address sharing its bucket.
    SimulatedCard card;
    card.own = Mac({0x02, 0x77, 0, 0, 0, 5});
    card.groups = {Mac({0x01, 0x00, 0x5E, 0x00, 0x00, 0x03})};
    const MacBytes m0 = Mac({0x01, 0x00, 0x5E, 0x00, 0x00, 0x00});
    EXPECT_TRUE(card.Answers(Mac({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})));
    EXPECT_TRUE(card.Answers(card.own));
    EXPECT_TRUE(card.Answers(card.groups[0]));
    EXPECT_EQ(card.Answers(m0), HashBucket(m0, 64) == HashBucket(card.groups[0], 64));
    EXPECT_FALSE(card.Answers(Mac({0x02, 0x77, 0, 0, 0, 6})));
    int passed = 0;
    for (int i = 0; i < 6400; ++i)
        passed += card.Answers(Mac({0x01, 0x22, std::uint8_t(i >> 8), std::uint8_t(i), 0, 9}));
    EXPECT_NEAR(passed, 100, 60); // one bucket of 64
}

TEST(SimulatedCards, BucketIsTheTopOfTheEthernetCrc)
{
    // The CRC-32 of the frame check sequence, register read most significant
    // bit first and not inverted (zlib's crc32 gives the same reflected and
    // inverted: 0x41D9ED00 for broadcast).
    const MacBytes broadcast = Mac({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    const MacBytes allHosts = Mac({0x01, 0x00, 0x5E, 0x00, 0x00, 0x01});
    EXPECT_EQ(EthernetCrc(broadcast), 0xFF48647Du);
    EXPECT_EQ(EthernetCrc(allHosts), 0x7FA32D9Bu);
    EXPECT_EQ(HashBucket(broadcast, 64), 63);
    EXPECT_EQ(HashBucket(allHosts, 64), 31);
    EXPECT_EQ(HashBucket(allHosts, 256), 0x7F);
}

TEST(SimulatedCards, PromiscuousStacks)
{
    SimulatedCard linux{.kind = SimulatedCard::Kind::Promiscuous};
    SimulatedCard oneByte{.kind = SimulatedCard::Kind::FirstBytes, .checkedBytes = 1};
    SimulatedCard twoBytes{.kind = SimulatedCard::Kind::FirstBytes, .checkedBytes = 2};
    const MacBytes b8 = Mac({0xFF, 0, 0, 0, 0, 0});
    const MacBytes b16 = Mac({0xFF, 0xFF, 0, 0, 0, 0});
    const MacBytes gr = Mac({0x01, 0, 0, 0, 0, 0});
    EXPECT_TRUE(linux.Answers(b8) && linux.Answers(b16) && linux.Answers(gr));
    EXPECT_TRUE(oneByte.Answers(b8) && oneByte.Answers(b16));
    EXPECT_FALSE(oneByte.Answers(gr));
    EXPECT_TRUE(twoBytes.Answers(b16));
    EXPECT_FALSE(twoBytes.Answers(b8) || twoBytes.Answers(gr));
}

} // namespace

namespace {

// The ten test destinations of WithSpAddresses, in column order.
std::vector<MacBytes> TestDestinations(const Settings &s)
{
    std::vector<MacBytes> list;
    for (int column = FirstResultColumn; column <= LastResultColumn; ++column)
        list.push_back(s.TestDestination(column)->bytes);
    return list;
}

// Whether one loss-free batch confirms the card.
bool ConfirmedByOneBatch(const SimulatedCard &card, const Settings &s, ConfirmationFamily family,
                         std::mt19937_64 &random)
{
    int answered = 0;
    for (const MacBytes &mac : DrawConfirmationDestinations(s, family, random))
        answered += card.Answers(mac);
    ConfirmationEvidence evidence;
    WeighConfirmationBatch(evidence, FreshGroups(answered),
                           card.Answers(card.own) ? ConfirmationControlCount : 0);
    return evidence.verdict == ConfirmationVerdict::Confirmed;
}

// What a scan with every test and confirmation makes of a card: nothing
// when it answers no illegal test, else whether it was confirmed.
std::optional<bool> ScanCard(const SimulatedCard &card, const Settings &s, std::mt19937_64 &random)
{
    const std::vector<MacBytes> tests = TestDestinations(s);
    std::optional<ConfirmationFamily> family;
    for (int i = 0; i < TestCount && !family; ++i) {
        if (card.Answers(tests[size_t(i)]))
            family = FamilyOfColumn(FirstResultColumn + i);
    }
    if (!card.Answers(tests[0]) || !family)
        return std::nullopt;
    return ConfirmedByOneBatch(card, s, *family, random);
}

MacBytes RandomGroup(std::mt19937_64 &random)
{
    // IPv4 groups (01:00:5E + 23 bits) and IPv6 solicited-node groups.
    const std::uint64_t bits = random();
    if (bits & 1)
        return Mac({0x01, 0x00, 0x5E, std::uint8_t((bits >> 8) & 0x7F), std::uint8_t(bits >> 16),
                    std::uint8_t(bits >> 24)});
    return Mac({0x33, 0x33, 0xFF, std::uint8_t(bits >> 8), std::uint8_t(bits >> 16),
                std::uint8_t(bits >> 24)});
}

} // namespace

// 10,000 normal cards with 64-bucket filters and 4 to 16 joined groups, each
// probed as a suspect would be whether or not it answered an illegal test.
TEST(SimulatedSegment, NormalCardsAreNotConfirmedAndEveryPromiscuousStackIs)
{
    const Settings s = WithSpAddresses();
    std::mt19937_64 random(20261208);
    constexpr int Cards = 10000;
    int suspects = 0;
    int falseConfirmations = 0;
    int forcedConfirmations = 0;
    for (int n = 0; n < Cards; ++n) {
        SimulatedCard card;
        card.own =
            Mac({0x02, 0x10, 0, std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)});
        const int groups = 4 + int(random() % 13);
        for (int g = 0; g < groups; ++g)
            card.groups.push_back(RandomGroup(random));
        if (const auto confirmed = ScanCard(card, s, random)) {
            ++suspects;
            falseConfirmations += *confirmed;
        }
        // Every card probed as if it had answered, for a rate that does not
        // hang on the few coincidences.
        forcedConfirmations += ConfirmedByOneBatch(card, s, ConfirmationFamily::GroupBit, random);
    }
    std::cout << "simulated normal cards: " << Cards << ", answered an illegal test: " << suspects
              << ", confirmed: " << falseConfirmations
              << ", confirmed when every card is probed: " << forcedConfirmations << '\n';
    EXPECT_GT(suspects, 0);
    EXPECT_EQ(falseConfirmations, 0);
    EXPECT_EQ(forcedConfirmations, 0);

    const std::vector<SimulatedCard> stacks{
        {.kind = SimulatedCard::Kind::Promiscuous},
        {.kind = SimulatedCard::Kind::FirstBytes, .checkedBytes = 1},
        {.kind = SimulatedCard::Kind::FirstBytes, .checkedBytes = 2},
    };
    for (const SimulatedCard &stack : stacks) {
        for (int scan = 0; scan < 100; ++scan)
            EXPECT_EQ(ScanCard(stack, s, random), std::optional<bool>(true));
    }
}
