#pragma once

#include "config/settings.h"

#include <QString>

#include <array>

namespace keelwatch {

struct TestAddress
{
    int column;                  // source index of its probes and node table column
    const char16_t *label;       // "Br", "B47", ...
    const char16_t *checkBox;    // name of its Setup check box
    const char16_t *destination; // MAC text; empty for SP1 and SP2, which the user gives
    bool correct;                // an answer is expected of a card in normal mode
};

// The ten test addresses in probe order. Answers to Br and M1 are correct,
// answers to the other eight give a card away as promiscuous.
inline constexpr std::array<TestAddress, TestCount> TestAddresses{{
    {2, u"Br", u"fbr", u"FF FF FF FF FF FF", true},
    {3, u"B47", u"f31", u"FF FF FF FF FF FE", false},
    {4, u"B16", u"f016", u"FF FF 00 00 00 00", false},
    {5, u"B8", u"f8", u"FF 00 00 00 00 00", false},
    {6, u"Gr", u"fg", u"01 00 00 00 00 00", false},
    {7, u"M0", u"fm", u"01 00 5E 00 00 00", false},
    {8, u"M1", u"M1", u"01 00 5E 00 00 01", true},
    {9, u"M3", u"M2", u"01 00 5E 00 00 03", false},
    {10, u"SP1", u"fs1", u"", false},
    {11, u"SP2", u"fs2", u"", false},
}};

// Destination MAC text of the test address of a result column: the fixed
// address, or the SP1/SP2 text of the settings.
QString TestDestination(const Settings &settings, int column);

// The sixteen source addresses: the own MAC text with its last hex digit
// replaced by 0 to F. Source address k answers for the test of column k.
using SourceMacs = std::array<QString, 16>;
SourceMacs BuildProbeSourceMacs(const QString &ownMac);

} // namespace keelwatch
