#include "scan/confirmationprobes.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace keelwatch {

int BatchProbeSentAt(int k)
{
    constexpr int Period = ConfirmationBatchProbes / ConfirmationControlCount;
    static_assert(ConfirmationBatchProbes % ConfirmationControlCount == 0);
    if (k % Period == Period - 1)
        return ConfirmationProbeCount + k / Period;
    return k / Period * (Period - 1) + k % Period;
}

bool WeighConfirmationBatch(ConfirmationEvidence &evidence, const std::vector<GroupOutcome> &groups,
                            int controlsAnswered)
{
    if (controlsAnswered <= 0)
        return false;
    evidence.controlsAsked += ConfirmationControlCount;
    evidence.controlsAnswered += std::min(controlsAnswered, ConfirmationControlCount);
    // Laplace's estimate keeps r off 0 and 1 however few answers there are.
    const double rate =
        std::clamp((evidence.controlsAnswered + 1.0) / (evidence.controlsAsked + 2.0), 0.05, 0.99);
    const double fresh = ConfirmationNormalShare;
    // What H0 gives an address that went unanswered once: it passes the
    // filter and was lost, among all the ways to stay silent.
    const double again = fresh * (1 - rate) / (1 - fresh * rate);
    for (const GroupOutcome &group : groups) {
        const double passes = group.askedAgain ? again : fresh;
        evidence.logRatio +=
            group.answered ? std::log(1 / passes) : std::log((1 - rate) / (1 - passes * rate));
    }
    evidence.logRatio =
        std::clamp(evidence.logRatio, ConfirmationLowerBound, ConfirmationUpperBound);
    if (evidence.logRatio >= ConfirmationUpperBound)
        evidence.verdict = ConfirmationVerdict::Confirmed;
    else if (evidence.logRatio <= ConfirmationLowerBound)
        evidence.verdict = ConfirmationVerdict::FilterMatch;
    return true;
}

std::optional<ConfirmationFamily> FamilyOfColumn(int column)
{
    const TestAddress *test = TestOfColumn(column);
    if (!test || test->correct)
        return std::nullopt;
    const std::u16string_view label = test->label;
    if (label == u"B47" || label == u"B16")
        return ConfirmationFamily::TwoOnes;
    if (label == u"B8")
        return ConfirmationFamily::OneOnes;
    return ConfirmationFamily::GroupBit;
}

namespace {

std::vector<MacBytes> TestDestinationBytes(const Settings &settings)
{
    std::vector<MacBytes> list;
    for (int column = FirstResultColumn; column <= LastResultColumn; ++column) {
        if (const std::optional<MacAddress> mac = settings.TestDestination(column))
            list.push_back(mac->bytes);
    }
    return list;
}

bool Usable(const MacBytes &mac, ConfirmationFamily family, const std::vector<MacBytes> &tests)
{
    switch (family) {
    case ConfirmationFamily::TwoOnes:
        if (mac[0] != 0xFF || mac[1] != 0xFF)
            return false;
        break;
    case ConfirmationFamily::OneOnes:
        if (mac[0] != 0xFF)
            return false;
        break;
    case ConfirmationFamily::GroupBit:
        if (mac[0] != 0x01)
            return false;
        break;
    }
    const auto starts = [&mac](std::initializer_list<std::uint8_t> bytes) {
        return std::equal(bytes.begin(), bytes.end(), mac.begin());
    };
    if (std::all_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b == 0xFF; }) ||
        starts({0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}) || starts({0x01, 0x80, 0xC2}) ||
        starts({0x33, 0x33}))
        return false;
    return std::find(tests.begin(), tests.end(), mac) == tests.end();
}

} // namespace

bool UsableConfirmationDestination(const MacBytes &mac, ConfirmationFamily family,
                                   const Settings &settings)
{
    return Usable(mac, family, TestDestinationBytes(settings));
}

std::vector<MacBytes> DrawConfirmationDestinations(const Settings &settings,
                                                   ConfirmationFamily family,
                                                   std::mt19937_64 &random)
{
    return ComposeConfirmationGroups({}, settings, family, random);
}

std::vector<MacBytes> ComposeConfirmationGroups(const std::vector<MacBytes> &askAgain,
                                                const Settings &settings, ConfirmationFamily family,
                                                std::mt19937_64 &random)
{
    const std::vector<MacBytes> tests = TestDestinationBytes(settings);
    std::vector<MacBytes> groups;
    std::set<MacBytes> asked;
    for (const MacBytes &mac : askAgain) {
        if (int(groups.size()) < ConfirmationProbeCount && Usable(mac, family, tests) &&
            asked.insert(mac).second)
            groups.push_back(mac);
    }
    while (int(groups.size()) < ConfirmationProbeCount) {
        const std::uint64_t bits = random();
        MacBytes mac;
        for (size_t i = 0; i < mac.size(); ++i)
            mac[i] = std::uint8_t(bits >> (8 * i));
        if (family == ConfirmationFamily::GroupBit) {
            mac[0] = 0x01;
        } else {
            mac[0] = 0xFF;
            if (family == ConfirmationFamily::TwoOnes)
                mac[1] = 0xFF;
        }
        if (Usable(mac, family, tests) && asked.insert(mac).second)
            groups.push_back(mac);
    }
    return groups;
}

std::vector<MacBytes> DrawConfirmationSources(const MacAddress &ownMac, std::mt19937_64 &random)
{
    const auto blockOf = [](const MacBytes &mac) {
        MacBytes block = mac;
        block[5] &= 0xF0;
        return block;
    };
    constexpr size_t BlockCount = (ConfirmationBatchProbes + 15) / 16 + 1;
    std::vector<MacBytes> blocks;
    while (blocks.size() < BlockCount) {
        const std::uint64_t bits = random();
        MacBytes block;
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = std::uint8_t(bits >> (8 * i));
        // Locally administered, unicast.
        block[0] = std::uint8_t((block[0] | 0x02) & ~0x01);
        block = blockOf(block);
        if (block != blockOf(ownMac.bytes) &&
            std::find(blocks.begin(), blocks.end(), block) == blocks.end())
            blocks.push_back(block);
    }
    std::vector<MacBytes> sources;
    for (size_t i = 0; i < BlockCount * 16; ++i) {
        MacBytes mac = blocks[size_t(i / 16)];
        mac[5] = std::uint8_t(mac[5] | (i % 16));
        sources.push_back(mac);
    }
    std::shuffle(sources.begin(), sources.end(), random);
    sources.resize(ConfirmationBatchProbes);
    return sources;
}

} // namespace keelwatch
