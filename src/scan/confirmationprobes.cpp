#include "scan/confirmationprobes.h"

#include <algorithm>

namespace keelwatch {

ConfirmationVerdict JudgeConfirmation(int answered)
{
    return answered >= ConfirmedAnswers ? ConfirmationVerdict::Confirmed
                                        : ConfirmationVerdict::FilterMatch;
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

ConfirmationDestinations DrawConfirmationDestinations(const Settings &settings,
                                                      std::mt19937_64 &random)
{
    const std::vector<MacBytes> tests = TestDestinationBytes(settings);
    ConfirmationDestinations drawn;
    for (int f = 0; f < ConfirmationFamilyCount; ++f) {
        const auto family = ConfirmationFamily(f);
        std::vector<MacBytes> &list = drawn[size_t(f)];
        while (int(list.size()) < ConfirmationProbeCount) {
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
            if (Usable(mac, family, tests) &&
                std::find(list.begin(), list.end(), mac) == list.end())
                list.push_back(mac);
        }
    }
    return drawn;
}

std::vector<MacBytes> DrawConfirmationSources(const MacAddress &ownMac, std::mt19937_64 &random)
{
    const auto blockOf = [](const MacBytes &mac) {
        MacBytes block = mac;
        block[5] &= 0xF0;
        return block;
    };
    std::vector<MacBytes> blocks;
    while (blocks.size() < 2) {
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
    for (int i = 0; i < 2 * 16; ++i) {
        MacBytes mac = blocks[size_t(i / 16)];
        mac[5] = std::uint8_t(mac[5] | (i % 16));
        sources.push_back(mac);
    }
    std::shuffle(sources.begin(), sources.end(), random);
    sources.resize(ConfirmationProbeCount);
    return sources;
}

} // namespace keelwatch
