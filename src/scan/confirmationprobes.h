#pragma once

#include "config/settings.h"
#include "scan/probeframe.h"

#include <array>
#include <optional>
#include <random>
#include <vector>

namespace keelwatch {

// A node that answered an illegal test address is sent a batch of ARP
// requests in every cycle: ConfirmationProbeCount to group addresses drawn
// afresh for the batch, and ConfirmationControlCount controls to its own
// MAC, which every card passes. Each probe comes from a source address of
// its own, so that every answer tells which probe it answers. Answers are
// handed on with ConfirmationSourceIndex, which has no result column, so
// they never write a mark. Group probes are 0 to ConfirmationProbeCount - 1,
// controls follow.
constexpr int ConfirmationProbeCount = 192;
constexpr int ConfirmationControlCount = 64;
constexpr int ConfirmationBatchProbes = ConfirmationProbeCount + ConfirmationControlCount;
constexpr int ConfirmationSourceIndex = 12;

enum class ConfirmationVerdict {
    None,        // not decided
    Confirmed,   // passes every group address, as a promiscuous card does
    FilterMatch, // passes a share of them: a hash-filter coincidence
};

// A sequential likelihood-ratio test over a node's batches. A card in normal
// mode keeps a hash filter of b buckets, s of them set by the groups its host
// joined; a group address drawn afresh passes with probability s/b. A random
// 64 groups fill 41 of 64 buckets on average and the worst of 10,000 such
// cards 47 to 52, so H0 is "passes a share ConfirmationNormalShare = 0.82"
// (52/64 = 0.81). H1 is "passes every group address": a probe is answered
// as often as a control, r, which the node's controls so far measure, its
// request and reply loss together. A fresh group answer adds ln(1/0.82) =
// +0.20 to the log ratio, a silence ln((1 - r)/(1 - 0.82 r)): -0.35 at
// r = 0.7 (30% of replies lost). At that loss such probes tell little: a
// batch of 192 moves a promiscuous card by +6.5 on average, sd 3.5.
//
// So every address a batch left unanswered is asked once more in the next
// batch. The same address falls in the same bucket whatever the card's hash,
// so a normal card that was silent because the bucket is not set stays
// silent, while a promiscuous card answers at r. Under H0 a once-silent
// address passes the filter with probability p1 = 0.82 (1 - r) / (1 - 0.82 r)
// (0.58 at r = 0.7), so its answer adds ln(1/p1) = +0.55 and its silence
// ln((1 - r)/(1 - p1 r)) = -0.69. A sniffer at r = 0.7 gains +0.18 per asked
// again address instead of +0.03, about 11 more per batch; an address silent
// twice is not asked again, so one late answer never weighs more than that.
//
// The ratio is kept within [ConfirmationLowerBound, ConfirmationUpperBound]:
// reaching the top confirms, reaching the bottom makes a filter match, and a
// node that changes mode crosses the whole range in one to three cycles.
// Wald's bound gives a card at the H0 share a chance of at most 1/400 per
// climb from the start, and e^-12 per climb from the bottom; the cards below
// it have far less. bench_evidence simulates 10,000 normal cards with 4 to
// 64 groups at 0-30% loss over 100 cycles, and sniffers at each loss.
constexpr double ConfirmationNormalShare = 0.82;
constexpr double ConfirmationUpperBound = 6.0; // ln 400
constexpr double ConfirmationLowerBound = -6.0;

struct ConfirmationEvidence
{
    double logRatio = 0;
    int controlsAsked = 0;
    int controlsAnswered = 0;
    // The verdict the last bound reached tells; None before any.
    ConfirmationVerdict verdict = ConfirmationVerdict::None;
    // The fresh group addresses the last weighed batch left unanswered: the
    // next batch asks them again.
    std::vector<MacBytes> askAgain;
};

// The probe of a batch sent k-th: controls spread evenly among the group
// probes, so that a burst of loss, or a batch cut short, takes its share of
// both and never looks like a filter.
int BatchProbeSentAt(int k);

// A group probe of a batch: answered or not, and whether its address went
// unanswered in the batch before.
struct GroupOutcome
{
    bool answered = false;
    bool askedAgain = false;
};

// Adds one batch: its group probes and controlsAnswered of
// ConfirmationControlCount controls. A batch whose controls all went
// unanswered tells nothing of a filter (the node or the segment lost them);
// it changes nothing and false is returned.
bool WeighConfirmationBatch(ConfirmationEvidence &evidence, const std::vector<GroupOutcome> &groups,
                            int controlsAnswered);

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

// ConfirmationProbeCount different usable addresses of the family, drawn
// with random for one batch.
std::vector<MacBytes> DrawConfirmationDestinations(const Settings &settings,
                                                   ConfirmationFamily family,
                                                   std::mt19937_64 &random);

// A batch's ConfirmationProbeCount group addresses: those of askAgain that
// suit the family, then fresh ones.
std::vector<MacBytes> ComposeConfirmationGroups(const std::vector<MacBytes> &askAgain,
                                                const Settings &settings, ConfirmationFamily family,
                                                std::mt19937_64 &random);

// ConfirmationBatchProbes different locally administered unicast source
// addresses, one per probe of a batch, in random order; none in the own
// MAC's block of sixteen source addresses. They come from whole blocks of
// sixteen (a MAC with its last hex digit 0 to F), one more than they fill,
// so that a send adapter bound to one block sends many of them.
std::vector<MacBytes> DrawConfirmationSources(const MacAddress &ownMac, std::mt19937_64 &random);

} // namespace keelwatch
