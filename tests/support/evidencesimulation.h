#pragma once

#include "config/settings.h"
#include "scan/confirmationprobes.h"
#include "support/simulatedcard.h"

#include <array>
#include <random>
#include <vector>

namespace keelwatch {

// Each frame of a card's confirmation batches is lost on the way with these
// probabilities, independently.
struct SimulatedLoss
{
    double requests = 0;
    double replies = 0;
};

// Sends a card a confirmation batch per cycle, as the scan would (group
// addresses of family the last batch left unanswered, then fresh ones,
// controls to its own MAC, each probe from
// its own source), counts the answers that survive the loss in the node
// list and weighs them as the cycle's evaluation does. Returns the cycle
// (from 1) whose batch first confirmed the card, or 0 when none did.
int CyclesUntilConfirmed(const SimulatedCard &card, SimulatedLoss loss, int cycles,
                         ConfirmationFamily family, const Settings &settings,
                         std::mt19937_64 &random);

// A normal card of a host that joined groups IPv4 and IPv6 multicast
// groups, with a 64-bucket filter.
SimulatedCard NormalCard(int groups, int serial, std::mt19937_64 &random);

// The figures of a simulated segment: normal cards with 4 to 64 groups at
// 0-30% loss each way, over cycles; promiscuous stacks at each loss.
struct EvidenceFigures
{
    int normalCards = 0;
    int falseConfirmations = 0;
    int mostBuckets = 0;
    struct Sniffers
    {
        SimulatedLoss loss;
        int stacks = 0;
        // Confirmed within one, two and three cycles.
        std::array<int, 3> within{};
    };
    std::vector<Sniffers> sniffers;
};
EvidenceFigures SimulateSegment(int normalCards, int cycles, int stacksPerLoss,
                                const std::vector<SimulatedLoss> &losses, std::uint64_t seed);

} // namespace keelwatch
