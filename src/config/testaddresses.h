#pragma once

#include "config/netaddress.h"

#include <QString>

#include <array>
#include <string_view>

namespace keelwatch {

// The ten test addresses in their fixed order; test i has node table column
// (and probe source index) FirstResultColumn + i.
constexpr int TestCount = 10;
constexpr int FirstResultColumn = 2;
constexpr int LastResultColumn = FirstResultColumn + TestCount - 1;
// Source addresses 0 to 15: the own MAC with its last hex digit replaced.
constexpr int SourceAddressCount = 16;

struct TestAddress
{
    int column;                  // probe source index and node table column
    const char16_t *label;       // Setup check box caption: "Br", "B47", ..., "SP1"
    const char16_t *shortName;   // column header and event log name: ..., "S1"
    const char16_t *checkBox;    // objectName of its Setup check box
    const char16_t *settingsKey; // stored flag of its check box
    const char16_t *destination; // MAC text; empty for SP1 and SP2, which the user gives
    bool correct;                // a card in normal mode answers it: marked O, not X
    bool onByDefault;            // checked on first run and by "Set Default"
};

// Answers to Br and M1 are what a card in normal mode gives; answers to the
// other eight give a card away as promiscuous.
inline constexpr std::array<TestAddress, TestCount> TestAddresses{{
    {2, u"Br", u"Br", u"fbr", u"FBR", u"FF FF FF FF FF FF", true, true},
    {3, u"B47", u"B47", u"f31", u"F31", u"FF FF FF FF FF FE", false, true},
    {4, u"B16", u"B16", u"f016", u"F016", u"FF FF 00 00 00 00", false, true},
    {5, u"B8", u"B8", u"f8", u"F8", u"FF 00 00 00 00 00", false, true},
    {6, u"Gr", u"Gr", u"fg", u"FG", u"01 00 00 00 00 00", false, true},
    {7, u"M0", u"M0", u"fm", u"FM", u"01 00 5E 00 00 00", false, false},
    {8, u"M1", u"M1", u"M1", u"M1", u"01 00 5E 00 00 01", true, false},
    {9, u"M3", u"M3", u"M2", u"M2", u"01 00 5E 00 00 03", false, false},
    {10, u"SP1", u"S1", u"fs1", u"FS1", u"", false, false},
    {11, u"SP2", u"S2", u"fs2", u"FS2", u"", false, false},
}};

// Index into TestAddresses of the test named by its label (e.g. "M3").
constexpr int TestIndex(std::u16string_view label)
{
    for (int i = 0; i < TestCount; ++i) {
        if (label == TestAddresses[size_t(i)].label)
            return i;
    }
    return -1;
}

constexpr int Sp1Column = FirstResultColumn + TestIndex(u"SP1");
constexpr int Sp2Column = FirstResultColumn + TestIndex(u"SP2");
constexpr int BroadcastColumn = FirstResultColumn + TestIndex(u"Br");

// The test address of a result column, or nothing for another column.
constexpr const TestAddress *TestOfColumn(int column)
{
    const int i = column - FirstResultColumn;
    return i >= 0 && i < TestCount ? &TestAddresses[size_t(i)] : nullptr;
}

using TestFlags = std::array<bool, TestCount>;

constexpr TestFlags DefaultTestFlags()
{
    TestFlags flags{};
    for (int i = 0; i < TestCount; ++i)
        flags[size_t(i)] = TestAddresses[size_t(i)].onByDefault;
    return flags;
}

// The sixteen source addresses: the own MAC with its last hex digit
// replaced by 0 to F, as "00 11 22 33 44 5A" texts. Source address k
// answers for the test of column k.
using SourceMacs = std::array<QString, SourceAddressCount>;
SourceMacs BuildProbeSourceMacs(const MacAddress &ownMac);

} // namespace keelwatch
