#pragma once

#include "config/settings.h"
#include "scan/probeframe.h"

#include <array>
#include <optional>
#include <random>
#include <vector>

namespace keelwatch {

// A node that answered Br and an illegal test address is sent this many more
// ARP requests, each to a different group address and from a source address
// of its own, so that every answer tells which probe it answers. Answers are
// handed on with this source index, which has no result column, so they
// never write a mark.
constexpr int ConfirmationProbeCount = 24;
constexpr int ConfirmationSourceIndex = 12;

// A card in normal mode keeps a hash filter of b buckets with s of them set
// by the groups its host joined (and broadcast); a random group address
// passes with probability about s/b. A cheap 64-bucket card with 16 groups
// passes at most about 17/64 = 0.27, so answers to 24 random addresses
// follow Binomial(24, 0.27): mean 6.4, and 18 or more has a probability of
// about 3e-7. A promiscuous card, or a stack that looks only at the first
// bytes of the address family it answered, passes all 24; 18 still allows
// six probes or replies lost on the way.
constexpr int ConfirmedAnswers = 18;

enum class ConfirmationVerdict {
    None,        // not probed
    Confirmed,   // answered at least ConfirmedAnswers of the probes
    FilterMatch, // answered fewer: a hash-filter coincidence
};

ConfirmationVerdict JudgeConfirmation(int answered);

// The group addresses the confirmation probes go to, by the first bytes of
// the test address the node answered: some stacks look only at those.
enum class ConfirmationFamily {
    TwoOnes,  // FF:FF:xx:xx:xx:xx after B47 or B16
    OneOnes,  // FF:xx:xx:xx:xx:xx after B8
    GroupBit, // 01:xx:xx:xx:xx:xx after Gr, M0, M3, SP1, SP2
};
constexpr int ConfirmationFamilyCount = 3;

// The family of an illegal test's column; nothing for Br, M1 and other
// columns.
std::optional<ConfirmationFamily> FamilyOfColumn(int column);

// Whether a confirmation probe may go to this address: a group address of
// the family that is none of the addresses hosts really listen to or that
// the ten tests use: broadcast, 01:00:5E:00:00:01, 01:80:C2:xx, 33:33:xx, the
// test destinations and both SP addresses of settings.
bool UsableConfirmationDestination(const MacBytes &mac, ConfirmationFamily family,
                                   const Settings &settings);

// ConfirmationProbeCount different usable addresses of each family, drawn
// with random.
using ConfirmationDestinations = std::array<std::vector<MacBytes>, ConfirmationFamilyCount>;
ConfirmationDestinations DrawConfirmationDestinations(const Settings &settings,
                                                      std::mt19937_64 &random);

// ConfirmationProbeCount different locally administered unicast source
// addresses, one per probe, in random order; none in the own MAC's block of
// sixteen source addresses. They come from two blocks of sixteen (the own
// MAC's with its last hex digit 0 to F), so that a send adapter bound to
// one block sends many of them.
std::vector<MacBytes> DrawConfirmationSources(const MacAddress &ownMac, std::mt19937_64 &random);

} // namespace keelwatch
