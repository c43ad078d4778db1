#include "report/eventline.h"

#include "config/datetimetext.h"
#include "scan/confirmationprobes.h"

#include <QStringList>

#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

const QString Tab = u"\t"_s;

QString Bracketed(const QString &mac)
{
    return u"["_s + mac + u"]"_s;
}

// A node's fields as lines and messages show them.
struct NodeTexts
{
    QString ip;
    QString mac;
    const QString &vendor;
    const QString &comment;

    explicit NodeTexts(const Node &node)
        : ip(node.ip.ToText()), mac(node.mac.ToText()), vendor(node.vendor), comment(node.comment)
    {
    }
};

// "datetime IP [MAC]" followed by the event's own fields, TAB between all.
QString NodeLine(const QString &dateTime, const NodeTexts &node, const QStringList &fields)
{
    return (QStringList{dateTime, node.ip, Bracketed(node.mac)} + fields).join(Tab);
}

SyslogEvent NodeSyslogEvent(const NodeTexts &node, int severity, const QString &words,
                            const QString &test = QString())
{
    return SyslogEvent{.severity = severity,
                       .text = node.ip + u" "_s + Bracketed(node.mac) + u" "_s + words,
                       .event = words,
                       .ip = node.ip,
                       .mac = node.mac,
                       .test = test,
                       .vendor = node.vendor,
                       .comment = node.comment};
}

EventLine NodeEvent(const QString &dateTime, const NodeTexts &node, const QString &first,
                    const QString &second, const QString &last, int severity)
{
    return EventLine{NodeLine(dateTime, node, {first, second, last}), true,
                     NodeSyslogEvent(node, severity, first + u" "_s + second)};
}

// A test answered afresh ("ON", in the frames of its answer) or lost ("OFF",
// in the scan's frame format).
EventLine MarkEvent(bool answered, bool ieee, int column, const NodeTexts &node,
                    const QString &dateTime)
{
    const QStringList fields{TestName(column), answered ? u"ON"_s : u"OFF"_s,
                             ieee ? u"ieee802.3"_s : u"ethernet"_s};
    // Answers a card in normal mode gives (Br, M1) do not beep.
    const TestAddress *test = TestOfColumn(column);
    EventLine line{NodeLine(dateTime, node, fields), !test || !test->correct, SyslogEvent()};
    if (column == BroadcastColumn)
        line.syslog =
            NodeSyslogEvent(node, SeverityInformational,
                            answered ? u"NODE FOUND"_s : u"NODE LOST"_s, TestName(column));
    return line;
}

} // namespace

QString TestName(int column)
{
    const TestAddress *test = TestOfColumn(column);
    return test ? QString::fromUtf16(test->shortName) : u"-"_s;
}

QString TestMaskText(const Settings &settings)
{
    unsigned mask = 0;
    for (size_t i = 0; i < settings.tests.size(); ++i)
        if (settings.tests[i])
            mask |= 1u << i;
    return u"%1"_s.arg(mask, 4, 16, QChar(u'0')).toUpper();
}

namespace {

EventLine EventLineOf(const ScanEvent &event, const Settings &settings, const QString &dateTime)
{
    const NodeTexts node(event.node);
    switch (event.kind) {
    case ScanEventKind::ScanStarted: {
        const QString banner =
            QStringList{u"\r\n### START Keelwatch"_s, TestMaskText(settings), dateTime,
                        settings.from + u"-"_s + settings.to + u" ###"_s}
                .join(Tab);
        return EventLine{banner, false,
                         SyslogEvent{.severity = SeverityInformational,
                                     .text = u"START"_s,
                                     .event = u"START"_s}};
    }
    case ScanEventKind::CycleEnded:
        return EventLine{
            QStringList{u"#Cyclic_Count"_s, QString::number(event.count), dateTime}.join(Tab),
            false, SyslogEvent()};
    case ScanEventKind::FramesDropped:
        // In the cycle line's shape, so log readers pass over it as they do
        // over any other "#" line.
        return EventLine{
            QStringList{u"#Dropped_Frames"_s, QString::number(event.count), dateTime}.join(Tab),
            false, SyslogEvent()};
    case ScanEventKind::RepliesRejected:
        return EventLine{
            QStringList{u"#Rejected_Replies"_s, QString::number(event.count), dateTime}.join(Tab),
            false, SyslogEvent()};
    case ScanEventKind::MacChanged:
        return NodeEvent(dateTime, node, u"MAC"_s, u"CHANGE"_s, u"-"_s, SeverityWarning);
    case ScanEventKind::TestAnswered:
        return MarkEvent(true, event.mark.ieee, event.column, node, dateTime);
    case ScanEventKind::ResponseLost:
        return MarkEvent(false, settings.format == FrameFormat::Ieee8023, event.column, node,
                         dateTime);
    case ScanEventKind::SuspectFound:
        return NodeEvent(dateTime, node, u"PROMISC"_s, u"SUSPECT"_s, QString(), SeverityWarning);
    case ScanEventKind::PromiscuousStarted:
        return NodeEvent(dateTime, node, u"PROMISC"_s, u"START"_s, QString(), SeverityAlert);
    case ScanEventKind::PromiscuousStopped:
        return NodeEvent(dateTime, node, u"PROMISC"_s, u"STOP"_s, QString(), SeverityAlert);
    case ScanEventKind::VerdictReached:
        break;
    }
    const QString answered = u"%1/%2"_s.arg(event.count).arg(ConfirmationProbeCount);
    const bool confirmed = event.verdict == ConfirmationVerdict::Confirmed;
    const QString word = confirmed ? u"CONFIRMED"_s : u"FILTER-MATCH"_s;
    // The count goes with the text, and as a field of its own, so that the
    // event words stay one fixed name for collectors. The START that comes
    // with a confirmation is its alert; the verdict itself is a warning.
    SyslogEvent forwarded = NodeSyslogEvent(
        node, confirmed ? SeverityWarning : SeverityInformational, u"PROMISC "_s + word);
    forwarded.text += u" "_s + answered;
    forwarded.answers = answered;
    return EventLine{NodeLine(dateTime, node, {u"PROMISC"_s, word, answered}), false, forwarded};
}

} // namespace

EventLine BuildEventLine(const ScanEvent &event, const Settings &settings, const QString &dateTime)
{
    EventLine line = EventLineOf(event, settings, dateTime);
    // With confirmation the verdict alerts, not the single answers: only
    // START and STOP beep.
    if (settings.confirmSuspects && !RaisesAlert(event.kind))
        line.beeps = false;
    return line;
}

QByteArray EventFileText(const QString &line, QChar delimiter)
{
    QString text = line + u"\r\n"_s;
    if (delimiter != u'\t')
        text.replace(u'\t', delimiter);
    return text.toUtf8();
}

QString PromiscuousAlertLine(const QDateTime &when, bool started, const QString &ip)
{
    return DateTimeText(when) + (started ? u" Promiscuous START "_s : u" Promiscuous STOP "_s) + ip;
}

namespace {

constexpr QByteArrayView BannerWord("### START Keelwatch");
constexpr QByteArrayView CycleWord("Cyclic_Count");
constexpr QByteArrayView CyclePrefix("#Cyclic_Count");
constexpr QByteArrayView DroppedPrefix("#Dropped_Frames");

bool IsBlank(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

std::optional<qint64> DecimalValue(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A mask that QString::toUInt(16) reads: hex digits after an optional "0x",
// blanks around them; anything else reads as 0.
std::uint32_t TestMaskValue(QByteArrayView text)
{
    bool ok = false;
    const uint mask = QString::fromUtf8(text).toUInt(&ok, 16);
    return ok ? mask : 0;
}

std::optional<MacAddress> BracketedMac(QByteArrayView text)
{
    if (text.size() != 19 || text.front() != '[' || text.back() != ']')
        return std::nullopt;
    std::array<std::uint8_t, 6> mac{};
    for (size_t i = 0; i < mac.size(); ++i) {
        const qsizetype at = 1 + qsizetype(i) * 3;
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0 || (i < 5 && text[at + 2] != ':'))
            return std::nullopt;
        mac[i] = std::uint8_t(high * 16 + low);
    }
    return MacAddress::FromBytes(mac.data());
}

int TestOfName(QByteArrayView name)
{
    for (int i = 0; i < TestCount; ++i) {
        const std::u16string_view test(TestAddresses[size_t(i)].shortName);
        if (qsizetype(test.size()) == name.size() &&
            std::equal(test.begin(), test.end(), name.begin(),
                       [](char16_t a, char b) { return a == char16_t(b); }))
            return i;
    }
    return -1;
}

NodeState StateOfWord(QByteArrayView word)
{
    static constexpr std::pair<QByteArrayView, NodeState> States[] = {
        {"ON", NodeState::On},
        {"OFF", NodeState::Off},
        {"SUSPECT", NodeState::Suspect},
        {"START", NodeState::Start},
        {"STOP", NodeState::Stop},
        {"CONFIRMED", NodeState::Confirmed},
        {"FILTER-MATCH", NodeState::FilterMatch},
        {"CHANGE", NodeState::Change},
    };
    for (const auto &[text, state] : States) {
        if (word == text)
            return state;
    }
    return NodeState::Other;
}

constexpr std::uint64_t Ones = 0x0101010101010101ULL;
constexpr std::uint64_t Highs = 0x8080808080808080ULL;

[[maybe_unused]] std::uint64_t BytesEqual(std::uint64_t word, unsigned char c)
{
    const std::uint64_t x = word ^ (Ones * c);
    return (x - Ones) & ~x & Highs;
}

// Flags the bytes of eight that can end a piece: blanks, the delimiter, a
// quote or a "#".
[[maybe_unused]] std::uint64_t PieceStops(const unsigned char *at, char delimiter)
{
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return ((word - Ones * 33) & ~word & Highs) |
           BytesEqual(word, static_cast<unsigned char>(delimiter)) | BytesEqual(word, '"') |
           BytesEqual(word, '#');
}

// A cycle line in the shape the log writes: its four pieces are plain to see.
class WrittenCycleShape
{
  public:
    static constexpr qsizetype DateLength = 11;
    static constexpr qsizetype TimeLength = 20;
    static constexpr qsizetype Head = CyclePrefix.size() + 1;

#if defined(__SSE2__)
    explicit WrittenCycleShape(char delimiter) : delimiters(_mm_set1_epi8(delimiter))
    {
        std::array<char, 16> head{};
        std::memcpy(head.data(), CyclePrefix.data(), size_t(CyclePrefix.size()));
        head[size_t(CyclePrefix.size())] = delimiter;
        prefix = _mm_loadu_si128(reinterpret_cast<const __m128i *>(head.data()));
    }
#else
    explicit WrittenCycleShape(char delimiter) : delimiter(delimiter) {}
#endif

    // The number of digits of the line at line, 0 if it has another shape.
    qsizetype Digits(const unsigned char *line, const unsigned char *end) const
    {
        if (end - line < Head + 1 + 1 + TimeLength + 2)
            return 0;
#if defined(__SSE2__)
        // Sixteen bytes at a time: the prefix, the digits up to the delimiter,
        // then the date and time in two overlapping loads, where the blank
        // and the line end must be the only bytes that end a piece.
        constexpr unsigned HeadBits = (1u << Head) - 1;
        if ((Mask(_mm_cmpeq_epi8(Load(line), prefix)) & HeadBits) != HeadBits)
            return 0;
        const __m128i count = Load(line + Head);
        const unsigned ends = Mask(_mm_cmpeq_epi8(count, delimiters));
        const __m128i offsets = _mm_sub_epi8(count, _mm_set1_epi8('0'));
        const unsigned isDigit =
            Mask(_mm_cmpeq_epi8(_mm_min_epu8(offsets, _mm_set1_epi8(9)), offsets));
        const qsizetype digits = ends ? std::countr_zero(ends) : 0;
        const unsigned digitBits = (1u << digits) - 1;
        if (digits == 0 || digits > 10 || (isDigit & digitBits) != digitBits)
            return 0;
        const unsigned char *const date = line + Head + digits + 1;
        if (end - date < TimeLength + 2 || date[DateLength] != ' ' || date[TimeLength] != '\r' ||
            date[TimeLength + 1] != '\n' || Stops(date) != 1u << DateLength ||
            Stops(date + 6) != (1u << (DateLength - 6) | 3u << (TimeLength - 6)))
            return 0;
        return digits;
#else
        const auto delimiterByte = static_cast<unsigned char>(delimiter);
        if (std::memcmp(line, CyclePrefix.data(), size_t(CyclePrefix.size())) != 0 ||
            line[Head - 1] != delimiterByte)
            return 0;
        const unsigned char *const digits = line + Head;
        const unsigned char *q = digits;
        while (q < end && *q >= '0' && *q <= '9' && q - digits < 10)
            ++q;
        if (q == digits || end - q < 1 + TimeLength + 2 || *q != delimiterByte)
            return 0;
        const unsigned char *const date = q + 1;
        // Three overlapping words cover the date and the time.
        if (date[DateLength] != ' ' || date[TimeLength] != '\r' || date[TimeLength + 1] != '\n' ||
            (PieceStops(date, delimiter) | PieceStops(date + DateLength - 8, delimiter) |
             PieceStops(date + DateLength + 1, delimiter)))
            return 0;
        return q - digits;
#endif
    }

  private:
#if defined(__SSE2__)
    static __m128i Load(const unsigned char *at)
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
    }
    static unsigned Mask(__m128i bytes)
    {
        return unsigned(_mm_movemask_epi8(bytes));
    }
    // The bytes of sixteen that end a piece: blanks, the delimiter, a quote
    // or a "#".
    unsigned Stops(const unsigned char *at) const
    {
        const __m128i b = Load(at);
        const __m128i blank = _mm_cmpeq_epi8(_mm_min_epu8(b, _mm_set1_epi8(32)), b);
        const __m128i marks = _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('"')),
                                           _mm_cmpeq_epi8(b, _mm_set1_epi8('#')));
        return Mask(_mm_or_si128(_mm_or_si128(blank, marks), _mm_cmpeq_epi8(b, delimiters)));
    }

    __m128i delimiters;
    __m128i prefix;
#else
    char delimiter;
#endif
};

} // namespace

std::optional<qint64> LogLine::Count() const
{
    return DecimalValue(countText);
}

std::optional<int> LogLine::Answered() const
{
    if (state != NodeState::Confirmed && state != NodeState::FilterMatch)
        return std::nullopt;
    const qsizetype slash = last.indexOf('/');
    const std::optional<qint64> answered = DecimalValue(last.first(std::max<qsizetype>(slash, 0)));
    if (slash < 0 || !answered || *answered > ConfirmationProbeCount)
        return std::nullopt;
    return int(*answered);
}

QString LogLine::DateTimeText() const
{
    return QString::fromUtf8(date) + u' ' + QString::fromUtf8(clock);
}

std::optional<IpAddress> ReadLoggedIp(QByteArrayView text)
{
    quint32 address = 0;
    qsizetype i = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (i >= text.size() || text[i] != '.')
                return std::nullopt;
            ++i;
        }
        const qsizetype start = i;
        unsigned value = 0;
        while (i < text.size() && i - start < 3 && text[i] >= '0' && text[i] <= '9')
            value = value * 10 + unsigned(text[i++] - '0');
        const qsizetype digits = i - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0'))
            return std::nullopt;
        address = address << 8 | value;
    }
    if (i != text.size())
        return std::nullopt;
    return IpAddress::FromIpv4(address);
}

int LogLineReader::Split(QByteArrayView text, Pieces &pieces)
{
    // A NUL ends the line, as it would a C string. An empty view may have no
    // data at all, which memchr must not be given.
    const void *nul = text.isEmpty() ? nullptr : std::memchr(text.data(), 0, size_t(text.size()));
    if (nul)
        text = text.first(static_cast<const char *>(nul) - text.data());
    bool unquoting = false;
    int count = 0;
    const auto add = [&](QByteArrayView piece) {
        if (count < int(pieces.size()))
            pieces[size_t(count)] = piece;
        ++count;
    };
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && IsBlank(text[i]))
        ++i;
    while (i < n) {
        if (text[i] == '"') {
            const qsizetype start = ++i;
            bool doubled = false;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        doubled = true;
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            QByteArrayView piece = text.sliced(start, i - start);
            if (i < n)
                ++i;
            if (doubled) {
                // Reserved once per line, so that earlier pieces stay put.
                if (!unquoting) {
                    unquoted.clear();
                    unquoted.reserve(size_t(n));
                    unquoting = true;
                }
                const size_t from = unquoted.size();
                for (qsizetype k = 0; k < piece.size(); ++k) {
                    unquoted.push_back(piece[k]);
                    if (piece[k] == '"')
                        ++k;
                }
                piece = QByteArrayView(unquoted.data() + from, qsizetype(unquoted.size() - from));
            }
            add(piece);
        } else {
            const qsizetype start = i;
            while (i<n &&static_cast<unsigned char>(text[i])> 32 && text[i] != delimiter)
                ++i;
            add(text.sliced(start, i - start));
        }
        while (i < n && IsBlank(text[i]))
            ++i;
        if (i < n && text[i] == delimiter) {
            ++i;
            if (i == n) {
                add(QByteArrayView());
                break;
            }
            while (i < n && IsBlank(text[i]))
                ++i;
        }
    }
    return count;
}

LogLine LogLineReader::Read(QByteArrayView text)
{
    LogLine line;
    Pieces pieces;
    if (text.contains(BannerWord)) {
        if ((line.pieces = Split(text, pieces)) == 8) {
            line.kind = LogLineKind::Banner;
            line.testMask = TestMaskValue(pieces[3]);
            line.date = pieces[4];
            line.clock = pieces[5];
            line.range = pieces[6];
        }
    } else if (text.contains(CycleWord)) {
        if ((line.pieces = Split(text, pieces)) == 4) {
            line.kind = LogLineKind::Cycle;
            line.countText = pieces[1];
            line.date = pieces[2];
            line.clock = pieces[3];
        }
    } else if (text.contains('#')) {
        if ((line.pieces = Split(text, pieces)) == 4 && pieces[0] == DroppedPrefix) {
            line.kind = LogLineKind::Dropped;
            line.countText = pieces[1];
            line.date = pieces[2];
            line.clock = pieces[3];
        }
    } else if (line.pieces = Split(text, pieces);
               line.pieces == 7 || (line.pieces == 6 && delimiter == '\t' && text.endsWith('\t'))) {
        ReadNode(pieces, line);
    }
    return line;
}

void LogLineReader::ReadNode(const Pieces &pieces, LogLine &line) const
{
    line.kind = LogLineKind::Node;
    line.date = pieces[0];
    line.clock = pieces[1];
    line.ipText = pieces[2];
    line.ip = ReadLoggedIp(pieces[2]);
    line.macText = pieces[3];
    line.mac = BracketedMac(pieces[3]);
    if (const int test = TestOfName(pieces[4]); test >= 0) {
        line.word = NodeWord::Test;
        line.test = test;
    } else if (pieces[4] == "PROMISC") {
        line.word = NodeWord::Promisc;
    } else if (pieces[4] == "MAC") {
        line.word = NodeWord::Mac;
    }
    line.state = StateOfWord(pieces[5]);
    line.stateText = pieces[5];
    line.last = pieces[6];
}

qsizetype LogLineReader::ReadWrittenCycles(QByteArrayView text, std::span<WrittenCycleLine> lines,
                                           qsizetype &used) const
{
    const auto *const begin = reinterpret_cast<const unsigned char *>(text.data());
    const unsigned char *const end = begin + text.size();
    const WrittenCycleShape shape(delimiter);
    qsizetype at = 0;
    size_t count = 0;
    for (; count < lines.size(); ++count) {
        const qsizetype digits = shape.Digits(begin + at, end);
        if (digits == 0)
            break;
        const qsizetype date = at + WrittenCycleShape::Head + digits + 1;
        lines[count] = {
            text.sliced(at + WrittenCycleShape::Head, digits),
            text.sliced(date, WrittenCycleShape::DateLength),
            text.sliced(date + WrittenCycleShape::DateLength + 1,
                        WrittenCycleShape::TimeLength - WrittenCycleShape::DateLength - 1)};
        at = date + WrittenCycleShape::TimeLength + 2;
    }
    used = at;
    return qsizetype(count);
}

} // namespace keelwatch
