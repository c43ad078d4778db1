#pragma once

#include "config/netaddress.h"
#include "config/settings.h"
#include "core/scanevents.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace keelwatch {

// Syslog facility local4, times 8, and the severities of the forwarded
// events; a datagram's priority is their sum.
constexpr int LocalFacilityPriority = 160;
constexpr int SeverityAlert = 1;
constexpr int SeverityWarning = 4;
constexpr int SeverityInformational = 6;

// An event as syslog receives it: the text every format carries and, for
// formats with structured data, its fields one by one. Every member has an
// initialiser, so an event names only the fields it has; the others stay empty.
struct SyslogEvent
{
    QDateTime when{};
    // 0 when the event is not forwarded.
    int severity = 0;
    // "192.168.0.5 [00:11:22:33:44:55] PROMISC START", "START", ...
    QString text{};
    // The event words alone: "START", "PROMISC START", "NODE FOUND", ...
    QString event{};
    QString ip{};
    QString mac{};
    QString test{};
    QString vendor{};
    QString comment{};
    // "24/24": how many confirmation probes were answered; kept out of the
    // event words so that a collector can match them as a fixed text.
    QString answers{};
};

// One event as the log writes it.
struct EventLine
{
    // Fields joined by TAB; the start banner begins with CR LF.
    QString text;
    // Whether the event beeps when "Beep" is checked.
    bool beeps = false;
    // Without its time, which the writer adds.
    SyslogEvent syslog;
};

// The line of an event at the time given by dateTime (a DateTimeText).
EventLine BuildEventLine(const ScanEvent &event, const Settings &settings, const QString &dateTime);

// The test name of a result column in mark lines ("Br" ... "S2"), "-" for any
// other column.
QString TestName(int column);

// The switched-on tests as four upper-case hexadecimal digits, the first test
// address (Br) as bit 0.
QString TestMaskText(const Settings &settings);

// The bytes of one file line: the line, CR LF, and every TAB replaced by the
// delimiter.
QByteArray EventFileText(const QString &line, QChar delimiter);

// A line of the promiscuous alert window:
// "05/Jan/2004 14:03:27 Promiscuous START 192.168.0.5".
QString PromiscuousAlertLine(const QDateTime &when, bool started, const QString &ip);

// What a line of the event log is, as every reader of the log reads it back.
// The words decide first: a line holding "### START Keelwatch" is a banner
// or nothing, else one holding "Cyclic_Count" a cycle line or nothing; then
// the number of pieces (SplitFields with the log's delimiter) must fit.
enum class LogLineKind : std::uint8_t {
    Other,
    // "###", "START", "Keelwatch", test mask, date, time, range, "###".
    Banner,
    // "#Cyclic_Count", count, date, time.
    Cycle,
    // "#Dropped_Frames", count, date, time.
    Dropped,
    // No "#" and seven pieces: date, time, IP, [MAC], event word, state word
    // and a last piece (frame type, "-", answered probes, or an empty piece).
    // An empty last piece ends the line in a delimiter, which a TAB counts
    // as no piece: six pieces and a TAB at the end are a node line too.
    Node,
};

// The event word of a node line.
enum class NodeWord : std::uint8_t { Other, Test, Promisc, Mac };

// The state word of a node line.
enum class NodeState : std::uint8_t {
    Other,
    On,
    Off,
    Suspect,
    Start,
    Stop,
    Confirmed,
    FilterMatch,
    Change,
};

// One line of the event log, read. The texts point into the line read or
// into the reader that read it, and hold until its next read.
struct LogLine
{
    LogLineKind kind = LogLineKind::Other;
    // The pieces the line splits into.
    int pieces = 0;
    // Banner, cycle, dropped and node lines: "05/Jan/2004" and "14:03:27" as
    // written (any two pieces where a line of that kind has them).
    QByteArrayView date{};
    QByteArrayView clock{};
    // Banner: the switched-on tests, bit 0 Br; an unreadable mask reads as 0.
    std::uint32_t testMask = 0;
    QByteArrayView range{};
    // Cycle and dropped lines: the count as written.
    QByteArrayView countText{};
    // Node lines. The IP only when it is dotted decimal as the log writes
    // it; the MAC only as "[" six hex bytes with ":" between "]".
    QByteArrayView ipText{};
    std::optional<IpAddress> ip{};
    QByteArrayView macText{};
    std::optional<MacAddress> mac{};
    NodeWord word = NodeWord::Other;
    // With NodeWord::Test: the test's index in TestAddresses.
    int test = -1;
    NodeState state = NodeState::Other;
    QByteArrayView stateText{};
    // The frame type of a mark, "-" of a MAC change, "n/m" of a verdict.
    QByteArrayView last{};

    // The count of a cycle or dropped line, when it is a number.
    std::optional<qint64> Count() const;
    // Confirmed and filter-match lines: the probes answered ("24" of "24/24").
    std::optional<int> Answered() const;
    // The date, a blank and the time.
    QString DateTimeText() const;
};

// The pieces of a cycle line in exactly the shape the log writes it (prefix,
// delimiter, one to ten digits, delimiter, date, blank, time, CR LF): Read
// gives a cycle line with these pieces for it.
struct WrittenCycleLine
{
    QByteArrayView countText;
    QByteArrayView date;
    QByteArrayView clock;
};

// Reads event log lines with one delimiter; the one reader of the log's
// lines, so that the node viewer, the tests and any other reader agree.
class LogLineReader
{
  public:
    explicit LogLineReader(char delimiter) : delimiter(delimiter) {}

    // The line without its line end. Pieces end at the delimiter and at any
    // character of code 0 to 32, double quotes group, a NUL ends the line:
    // the pieces SplitFields gives.
    LogLine Read(QByteArrayView line);

    // The cycle lines in the log's own shape one after the other at the
    // start of text, read in place without splitting, at most lines.size():
    // how many were read. used gets the bytes they take with their CR LF.
    // Quiet logs are mostly such lines; any other line is Read's.
    qsizetype ReadWrittenCycles(QByteArrayView text, std::span<WrittenCycleLine> lines,
                                qsizetype &used) const;

  private:
    using Pieces = std::array<QByteArrayView, 8>;
    // The pieces of text, at most pieces.size() filled; their number.
    int Split(QByteArrayView text, Pieces &pieces);
    void ReadNode(const Pieces &pieces, LogLine &line) const;

    char delimiter;
    // Quoted pieces with doubled quotes, undoubled.
    std::string unquoted;
};

// The dotted decimal text the log writes ("10.77.0.1", no leading zeros).
std::optional<IpAddress> ReadLoggedIp(QByteArrayView text);

} // namespace keelwatch
