#include "support/evidencesimulation.h"

#include "core/nodelist.h"

#include <algorithm>
#include <bitset>

namespace keelwatch {

namespace {

// The filter's buckets, worked out once: a card answers a probe per bucket
// test instead of hashing every joined group again.
struct BucketCard
{
    const SimulatedCard &card;
    std::bitset<64> buckets;

    explicit BucketCard(const SimulatedCard &c) : card(c)
    {
        for (const MacBytes &group : card.groups)
            buckets.set(size_t(HashBucket(group, 64)));
    }

    bool Answers(const MacBytes &destination) const
    {
        if (card.kind != SimulatedCard::Kind::HashFilter || card.buckets != 64 ||
            destination == card.own || !(destination[0] & 1))
            return card.Answers(destination);
        return buckets.test(size_t(HashBucket(destination, 64))) ||
               std::all_of(destination.begin(), destination.end(),
                           [](std::uint8_t b) { return b == 0xFF; });
    }
};

MacBytes RandomGroup(std::mt19937_64 &random)
{
    // IPv4 groups (01:00:5E + 23 bits) and IPv6 solicited-node groups.
    const std::uint64_t bits = random();
    if (bits & 1)
        return {0x01,
                0x00,
                0x5E,
                std::uint8_t((bits >> 8) & 0x7F),
                std::uint8_t(bits >> 16),
                std::uint8_t(bits >> 24)};
    return {0x33,
            0x33,
            0xFF,
            std::uint8_t(bits >> 8),
            std::uint8_t(bits >> 16),
            std::uint8_t(bits >> 24)};
}

} // namespace

SimulatedCard NormalCard(int groups, int serial, std::mt19937_64 &random)
{
    SimulatedCard card;
    card.own = {
        0x02, 0x10, 0, std::uint8_t(serial >> 16), std::uint8_t(serial >> 8), std::uint8_t(serial)};
    for (int g = 0; g < groups; ++g)
        card.groups.push_back(RandomGroup(random));
    return card;
}

int CyclesUntilConfirmed(const SimulatedCard &card, SimulatedLoss loss, int cycles,
                         ConfirmationFamily family, const Settings &settings,
                         std::mt19937_64 &random)
{
    const BucketCard filter(card);
    const IpAddress ip = IpAddress::FromIpv4(0x0A000002);
    const MacAddress mac = MacAddress::FromBytes(card.own.data());
    std::bernoulli_distribution requestLost(loss.requests);
    std::bernoulli_distribution replyLost(loss.replies);
    NodeList nodes;
    nodes.Add(ip, mac, {});
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        std::vector<MacBytes> groups = nodes.NextConfirmationGroups(ip, family, settings, random);
        nodes.BeginConfirmation(ip, mac, groups);
        for (int probe = 0; probe < ConfirmationBatchProbes; ++probe) {
            const MacBytes &to = probe < ConfirmationProbeCount ? groups[size_t(probe)] : card.own;
            if (!requestLost(random) && filter.Answers(to) && !replyLost(random))
                nodes.CountConfirmationAnswer(ip, probe, mac);
        }
        if (nodes.WeighConfirmation(ip) == ConfirmationVerdict::Confirmed)
            return cycle;
    }
    return 0;
}

EvidenceFigures SimulateSegment(int normalCards, int cycles, int stacksPerLoss,
                                const std::vector<SimulatedLoss> &losses, std::uint64_t seed)
{
    Settings settings;
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> lossShare(0, 0.3);
    EvidenceFigures figures;
    figures.normalCards = normalCards;
    for (int n = 0; n < normalCards; ++n) {
        const SimulatedCard card = NormalCard(4 + int(random() % 61), n, random);
        const BucketCard filter(card);
        figures.mostBuckets = std::max(figures.mostBuckets, int(filter.buckets.count()));
        const SimulatedLoss loss{lossShare(random), lossShare(random)};
        figures.falseConfirmations +=
            CyclesUntilConfirmed(card, loss, cycles, ConfirmationFamily::GroupBit, settings,
                                 random) != 0;
    }
    for (const SimulatedLoss &loss : losses) {
        EvidenceFigures::Sniffers sniffers{loss, stacksPerLoss, {}};
        SimulatedCard stack{.kind = SimulatedCard::Kind::Promiscuous};
        for (int n = 0; n < stacksPerLoss; ++n) {
            stack.own = {0x02, 0x20, 0, 0, std::uint8_t(n >> 8), std::uint8_t(n)};
            const int cycle = CyclesUntilConfirmed(stack, loss, 3, ConfirmationFamily::GroupBit,
                                                   settings, random);
            for (int within = std::max(cycle, 1); cycle != 0 && within <= 3; ++within)
                ++sniffers.within[size_t(within - 1)];
        }
        figures.sniffers.push_back(sniffers);
    }
    return figures;
}

} // namespace keelwatch
