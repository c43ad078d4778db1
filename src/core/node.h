#pragma once

#include "config/netaddress.h"
#include "config/settings.h"
#include "scan/confirmationprobes.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace keelwatch {

// What an answer to a test tells: a card in normal mode gives Normal
// answers (Br, M1); only a promiscuous one gives Illegal answers.
enum class Answer : std::uint8_t { None, Normal, Illegal };

// A node's result for one test. Shown in the grid, the node list file and
// the log as letters: "-" switched off, "O"/"X" answered in Ethernet II
// frames, "o"/"x" in IEEE 802.3 frames, a leading "+" while an answer of
// the last cycle waits to be heard again.
struct Mark
{
    Answer answer = Answer::None;
    bool ieee = false;
    bool carried = false;
    bool off = false;

    static constexpr Mark Off() { return Mark{Answer::None, false, false, true}; }
    static constexpr Mark Answered(Answer answer, FrameFormat format)
    {
        return Mark{answer, format == FrameFormat::Ieee8023, false, false};
    }

    constexpr bool IsEmpty() const { return *this == Mark{}; }
    constexpr bool Answered() const { return answer != Answer::None; }
    // Carried over and not heard again yet: "+".
    constexpr bool Waiting() const { return carried && answer == Answer::None; }
    // The mark's letter without "+": "O", "o", "X", "x" or empty.
    QString Letter() const;
    QString Text() const;
    // The mark a cell's text shows, as Text() writes it; blanks around it do
    // not count. Text of no mark is none.
    static std::optional<Mark> FromText(QStringView text);

    constexpr bool operator==(const Mark &) const = default;
};

// The answer a reply to a test records: Normal for the tests a card in normal
// mode answers, Illegal for the others.
Answer AnswerOfTest(int column);

// The verdict as reports and the sensor's JSON name it: "confirmed",
// "filter match" or "none".
QString VerdictWord(ConfirmationVerdict verdict);
// The verdict a word of VerdictWord names, or none.
std::optional<ConfirmationVerdict> VerdictOfWord(QStringView word);

// One host that answered, as the node list holds it.
struct Node
{
    IpAddress ip;
    MacAddress mac;
    std::array<Mark, TestCount> marks{};
    QString vendor;
    QString comment;
    // Some reply of the node came in the current cycle, in any step: a node
    // that answered anything is alive, whichever tests went silent.
    bool heard = false;
    // When the node first answered and when it last answered, in ms since
    // the epoch; 0 while it has not answered (a node read from a file).
    qint64 firstSeen = 0;
    qint64 lastSeen = 0;

    const Mark &MarkOf(int column) const { return marks[size_t(column - FirstResultColumn)]; }
    Mark &MarkOf(int column) { return marks[size_t(column - FirstResultColumn)]; }

    // It answered Br in this sweep: alive and listening.
    bool AnsweredBroadcast() const { return MarkOf(BroadcastColumn).Answered(); }
    // The first test column whose answer only a promiscuous card gives, or 0.
    int FirstIllegalColumn() const;
    // It answered Br and a test only a promiscuous card answers.
    bool IsSuspect() const { return AnsweredBroadcast() && FirstIllegalColumn() != 0; }
    // The first illegal test whose answer of the last cycle is still not
    // heard in this one ("+"), or 0.
    int FirstSilentIllegalColumn() const;
};

} // namespace keelwatch

// Its members move as bytes, so the node list grows by reallocation.
Q_DECLARE_TYPEINFO(keelwatch::Node, Q_RELOCATABLE_TYPE);
