#include "report/nodeviewer.h"

#include "config/fieldsplit.h"
#include "config/testaddresses.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <bit>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

const QString Title = u"Node Viewer"_s;
constexpr int BrIndex = 0;
constexpr int M1Index = 6;
// A read gives the event loop its turn after about this long.
constexpr qint64 SliceNs = 20'000'000;
constexpr QByteArrayView BannerWord("### START Keelwatch");
constexpr QByteArrayView CycleWord("Cyclic_Count");
constexpr QByteArrayView CyclePrefix("#Cyclic_Count");

constexpr std::uint64_t Ones = 0x0101010101010101ULL;
constexpr std::uint64_t Highs = 0x8080808080808080ULL;

// The high bit of every byte of word that equals c (and maybe of bytes above
// one that does; callers check what they find).
std::uint64_t BytesEqual(std::uint64_t word, unsigned char c)
{
    const std::uint64_t x = word ^ (Ones * c);
    return (x - Ones) & ~x & Highs;
}

std::uint64_t Load8(const char *p)
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The first occurrence of pattern in text, or -1. Eight positions at a time
// are tested on the pattern's first and last byte before any comparison: the
// lines of a log look alike, so a search by skips would step a few bytes at a
// time.
qsizetype Find(QByteArrayView text, QByteArrayView pattern)
{
    const qsizetype m = pattern.size();
    const qsizetype n = text.size();
    const char *t = text.data();
    qsizetype i = 0;
    // A loop rather than memcmp: a call would lose the search's registers.
    const auto verify = [&](qsizetype at) {
        for (qsizetype k = 1; k < m - 1; ++k) {
            if (t[at + k] != pattern[k])
                return false;
        }
        return true;
    };
    if (m >= 2) {
        const auto first = static_cast<unsigned char>(pattern[0]);
        const auto last = static_cast<unsigned char>(pattern[m - 1]);
#if defined(__SSE2__)
        const __m128i firsts = _mm_set1_epi8(char(first));
        const __m128i lasts = _mm_set1_epi8(char(last));
        for (; i + m - 1 + 16 <= n; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t + i + m - 1));
            for (auto candidates = unsigned(_mm_movemask_epi8(
                     _mm_and_si128(_mm_cmpeq_epi8(a, firsts), _mm_cmpeq_epi8(b, lasts))));
                 candidates; candidates &= candidates - 1) {
                if (const qsizetype at = i + std::countr_zero(candidates); verify(at))
                    return at;
            }
        }
#endif
        for (; std::endian::native == std::endian::little && i + m - 1 + 8 <= n; i += 8) {
            const std::uint64_t x =
                (Load8(t + i) ^ (Ones * first)) | (Load8(t + i + m - 1) ^ (Ones * last));
            for (std::uint64_t candidates = (x - Ones) & ~x & Highs; candidates;
                 candidates &= candidates - 1) {
                // Little-endian loads: the lowest set bit is the first position.
                if (const qsizetype at = i + std::countr_zero(candidates) / 8; verify(at))
                    return at;
            }
        }
    }
    const void *hit = memmem(t + i, size_t(n - i), pattern.data(), size_t(m));
    return hit ? static_cast<const char *>(hit) - t : -1;
}

// The next occurrence of a pattern at or after a position, remembered until
// the reader has passed it, so that the text is searched once per pattern.
// A search may stop at a limit: what starts after it does not matter to the
// reader, and the stretch searched in vain is not searched again.
class NextOccurrence
{
  public:
    explicit NextOccurrence(QByteArrayView pattern) : pattern(pattern) {}

    // The first occurrence at or after pos, or -1 if none starts before limit.
    qsizetype From(QByteArrayView text, qsizetype pos, qsizetype limit)
    {
        if (next >= pos)
            return next;
        const qsizetype from = std::max(pos, searchedTo);
        if (from >= limit)
            return None;
        const qsizetype to = std::min(text.size(), limit + pattern.size() - 1);
        if (pattern.size() == 1) {
            const void *hit = std::memchr(text.data() + from, pattern[0], size_t(to - from));
            next = hit ? static_cast<const char *>(hit) - text.data() : None;
        } else {
            const qsizetype hit = Find(text.sliced(from, to - from), pattern);
            next = hit < 0 ? None : from + hit;
        }
        if (next < 0)
            searchedTo = limit;
        return next;
    }

  private:
    static constexpr qsizetype None = -1;
    QByteArrayView pattern;
    qsizetype next = None;
    // No occurrence starts between the last search's start and this.
    qsizetype searchedTo = 0;
};

// Byte classes of a cycle line read in place.
enum ByteClass : std::uint8_t { FieldByte, BlankByte, LineEndByte, DelimiterByte, OtherPathByte };

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Blanks and control characters separate fields, as SplitFields reads them.
bool IsBlank(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

// Flags the bytes of eight that can end a field: blanks, the delimiter, a
// quote or a "#".
inline std::uint64_t FieldStops(const unsigned char *at, char delimiter)
{
    const std::uint64_t word = Load8(reinterpret_cast<const char *>(at));
    return ((word - Ones * 33) & ~word & Highs) |
           BytesEqual(word, static_cast<unsigned char>(delimiter)) | BytesEqual(word, '"') |
           BytesEqual(word, '#');
}

// Eight bytes at a time past the bytes that cannot end a field of a cycle
// line read in place: anything above a blank but the delimiter, a quote or
// a "#". The byte loop that follows looks at the classes.
const unsigned char *SkipPlainBytes(const unsigned char *p, const unsigned char *end,
                                    char delimiter)
{
    if constexpr (std::endian::native != std::endian::little)
        return p;
    while (end - p >= 8) {
        // The lowest flag is exact; flags above it may not be.
        if (const std::uint64_t stops = FieldStops(p, delimiter))
            return p + std::countr_zero(stops) / 8;
        p += 8;
    }
    return p;
}

// A cycle line in the shape the event log writes: the prefix, the delimiter,
// one to ten digits, the delimiter, "dd/MMM/yyyy hh:mm:ss" and CR LF. Its
// four pieces are plain to see; any other shape takes the byte-by-byte
// reading.
class WrittenCycleShape
{
  public:
    static constexpr qsizetype DateLength = 11;
    static constexpr qsizetype TimeLength = 20;

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
        constexpr qsizetype Head = CyclePrefix.size() + 1;
        if (end - line < Head + 1 + 1 + TimeLength + 2)
            return 0;
#if defined(__SSE2__)
        // Sixteen bytes at a time: the prefix, the digits up to the delimiter,
        // then the date and time in two overlapping loads, where the blank
        // and the line end must be the only bytes that end a field.
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
            (FieldStops(date, delimiter) | FieldStops(date + DateLength - 8, delimiter) |
             FieldStops(date + DateLength + 1, delimiter)))
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
    // The bytes of sixteen that end a field: blanks, the delimiter, a quote
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

// The test's place in the test table, or -1.
int TestIndex(const QString &name)
{
    for (size_t i = 0; i < TestAddresses.size(); ++i) {
        if (name == QStringView(TestAddresses[i].shortName))
            return int(i);
    }
    return -1;
}

// Where the line holding pos ends: the next CR or LF, or the text's end.
qsizetype LineEnd(QByteArrayView text, qsizetype pos)
{
    while (pos < text.size() && !IsLineEnd(text[pos]))
        ++pos;
    return pos;
}

// Past the line end at pos: CR LF counts as one.
qsizetype PastLineEnd(QByteArrayView text, qsizetype end)
{
    if (end < text.size() - 1 && text[end] == '\r' && text[end + 1] == '\n')
        return end + 2;
    return end + 1;
}

} // namespace

NodeViewer::NodeViewer(const LiveSettings &settings, MessageSink sink, QObject *parent)
    : QObject(parent), settings(settings), sink(std::move(sink)), caption(Title)
{
    readTimer.setSingleShot(true);
    readTimer.setInterval(0);
    turnGuard.setSingleShot(true);
    turnGuard.setInterval(0);
    connect(&readTimer, &QTimer::timeout, this, &NodeViewer::ReadLogTail);
}

bool NodeViewer::Start(const QString &ip, const QString &path)
{
    if (ip.isEmpty())
        return false;
    followedIp = ip;
    followedIpBytes = ip.toUtf8();
    followedPath = path;
    grid.Reset();
    readPosition = 0;
    skippingLongLine = false;
    SetLive(true);
    ReadLogTail();
    return true;
}

void NodeViewer::Stop()
{
    SetLive(false);
}

void NodeViewer::Clear()
{
    SetCaption(Title);
    grid.Reset();
}

void NodeViewer::RefreshNodeViewer()
{
    if (!live || readTimer.isActive())
        return;
    Q_EMIT followedFieldsRestored(followedIp, followedPath);
    // The first event of a turn of the event loop is read at once; events
    // that follow it in the same turn come in a burst (a /16 drops out),
    // and one read at the next turn takes them all.
    if (turnGuard.isActive()) {
        readTimer.start();
        return;
    }
    turnGuard.start();
    ReadLogTail();
}

void NodeViewer::SetLive(bool on)
{
    if (live == on)
        return;
    live = on;
    Q_EMIT liveChanged(on);
}

void NodeViewer::SetCaption(const QString &text)
{
    if (caption == text)
        return;
    caption = text;
    Q_EMIT captionChanged(caption);
}

void NodeViewer::Fail(const QString &message)
{
    // Live mode ends before the message is shown, so that an event logged
    // meanwhile does not read again.
    readTimer.stop();
    SetLive(false);
    sink(message);
}

void NodeViewer::ReadLogTail()
{
    readTimer.stop();
    if (!QFileInfo::exists(followedPath)) {
        SetLive(false);
        Q_EMIT hideRequested();
        sink(u"No log file fount."_s);
        return;
    }
    if (flush)
        flush();
    QFile file(followedPath);
    if (!file.open(QIODevice::ReadOnly)) {
        Fail(u"Cannot open Log file.-1"_s);
        return;
    }
    delimiter = settings.Read().Delimiter().toLatin1();
    for (int c = 0; c < 256; ++c) {
        const char b = char(c);
        byteClasses[size_t(c)] = IsLineEnd(b)                     ? LineEndByte
                                 : c == 0 || b == '"' || b == '#' ? OtherPathByte
                                 // A TAB delimiter is skipped as a blank.
                                 : IsBlank(b)     ? BlankByte
                                 : b == delimiter ? DelimiterByte
                                                  : FieldByte;
    }
    cyclePrefixPlain = std::all_of(CyclePrefix.begin() + 1, CyclePrefix.end(), [this](char c) {
        return byteClasses[static_cast<unsigned char>(c)] == FieldByte;
    });
    SetCaption(Title + u" : "_s + followedIp);
    // A log cut shorter meanwhile (copytruncate) goes on from its new end.
    const qint64 size = file.size();
    readPosition = std::min(readPosition, size);
    const bool done = ReadSlice(file, size);
    SelectLatestRow();
    if (!done)
        readTimer.start();
}

bool NodeViewer::ReadSlice(QFile &file, qint64 size)
{
    QElapsedTimer slice;
    slice.start();
    bool done = true;
    // Rows of the last window that still wait for the grid.
    int rowsOfLastWindow = 0;
    while (readPosition < size) {
        // Two buffers in turn: the rows still waiting for the grid hold
        // pieces of the last window, so most windows of a quiet log reach
        // the grid only as the few rows that outlive the next one. Waiting
        // rows from the window before are put in the grid before its buffer
        // is read into again.
        if (pendingCount > rowsOfLastWindow)
            SyncGrid();
        QByteArray &buffer = buffers[size_t(nextBuffer)];
        nextBuffer ^= 1;
        // Read, not mapped: a rotation tool may cut the log short meanwhile,
        // and a mapping past the new end would kill the program.
        const qint64 length = std::min(WindowSize, size - readPosition);
        buffer.resize(length);
        const qint64 got = file.seek(readPosition) ? file.read(buffer.data(), length) : -1;
        if (got < 0) {
            SyncGrid();
            Fail(u"Cannot read Log file. "_s + file.errorString());
            return true;
        }
        // A log cut short meanwhile ends here.
        const bool atEnd = got < length || readPosition + length == size;
        const qint64 rowsBefore = rowsMade;
        const qsizetype used = ProcessWindow(QByteArrayView(buffer.constData(), got), atEnd);
        rowsOfLastWindow = int(std::min<qint64>(rowsMade - rowsBefore, pendingCount));
        readPosition += used;
        if (atEnd)
            break;
        if (slice.nsecsElapsed() > SliceNs) {
            done = false;
            break;
        }
    }
    SyncGrid();
    if (done)
        readPosition = std::max(readPosition, size);
    return done;
}

qsizetype NodeViewer::ProcessWindow(QByteArrayView text, bool atEnd)
{
    const qsizetype n = text.size();
    qsizetype pos = 0;
    gridCompleted = grid.RowCount() - 2;
    if (skippingLongLine) {
        pos = LineEnd(text, 0);
        skippingLongLine = pos == n && !atEnd;
        if (skippingLongLine)
            return n;
    }
    // Only lines with a "#", "Cyclic_Count" or the followed IP can change the
    // grid, so the reader jumps from one of these to the next instead of
    // looking at every line of a log that may hold millions.
    NextOccurrence hash("#");
    NextOccurrence cycle(CycleWord);
    NextOccurrence ip(followedIpBytes);
    while (pos < n) {
        while (pos < n && IsLineEnd(text[pos]))
            ++pos;
        if (pos == n)
            break;
        // Quiet logs are mostly cycle lines, one after the other in the
        // log's own shape: those are read in place, in a run.
        if (text[pos] == '#') {
            const auto *const bytes = reinterpret_cast<const unsigned char *>(text.data());
            pos += ReadWrittenCycleRun(bytes + pos, bytes + n);
            if (pos == n)
                break;
        }
        if (text[pos] == '#') {
            if (const qsizetype length = TryCycleLine(text, pos, atEnd); length >= 0) {
                pos += length;
                BoundRows();
                continue;
            }
        }
        // The other patterns matter only where they come before the next "#":
        // in a quiet log that is the next line.
        qsizetype hit = hash.From(text, pos, n);
        for (NextOccurrence *finder : {&cycle, &ip}) {
            const qsizetype at = finder->From(text, pos, hit < 0 ? n : hit);
            if (at >= 0 && (hit < 0 || at < hit))
                hit = at;
        }
        // A line cut by the window's end may hold a pattern cut with it.
        qsizetype start = hit < 0 ? n : hit;
        while (start > pos && !IsLineEnd(text[start - 1]))
            --start;
        // The lines skipped hold nothing for the grid; a cycle line after
        // them goes back to the reading in place.
        if (hit >= 0 && start > pos && text[start] == '#') {
            pos = start;
            continue;
        }
        const qsizetype end = LineEnd(text, hit < 0 ? start : hit);
        if (end == n && !atEnd) {
            if (start > 0)
                return start;
            // A line longer than the whole window is no event line.
            skippingLongLine = true;
            return n;
        }
        if (hit < 0)
            break;
        // Measured before it is split: a huge line costs no strings.
        if (end - start <= MaxLineLength)
            ProcessLine(text.sliced(start, end - start));
        BoundRows();
        pos = PastLineEnd(text, end);
    }
    return n;
}

qsizetype NodeViewer::TryCycleLine(QByteArrayView text, qsizetype pos, bool atEnd)
{
    const qsizetype n = text.size();
    if (n - pos < CyclePrefix.size() ||
        std::memcmp(text.data() + pos, CyclePrefix.data(), size_t(CyclePrefix.size())) != 0)
        return -1;
    // The fields as SplitFields would give them for a line without quotes,
    // NULs or a second "#" (those take the general path).
    const auto *const begin = reinterpret_cast<const unsigned char *>(text.data());
    const unsigned char *const end = begin + n;
    // The prefix holds no byte that ends a field.
    const unsigned char *p = begin + pos + (cyclePrefixPlain ? CyclePrefix.size() : 1);
    const unsigned char *fieldStart = begin + pos;
    std::array<QByteArrayView, 4> pieces;
    int count = 0;
    const auto addPiece = [&](const unsigned char *from, const unsigned char *to) {
        if (count < int(pieces.size()))
            pieces[size_t(count)] = QByteArrayView(from, to - from);
        ++count;
    };
    const auto skipBlanks = [&] {
        while (p < end && byteClasses[*p] == BlankByte)
            ++p;
    };
    for (;;) {
        p = SkipPlainBytes(p, end, delimiter);
        while (p < end && byteClasses[*p] == FieldByte)
            ++p;
        addPiece(fieldStart, p);
        skipBlanks();
        if (p < end && byteClasses[*p] == DelimiterByte) {
            ++p;
            if (p == end || byteClasses[*p] == LineEndByte) {
                addPiece(p, p);
                break;
            }
            skipBlanks();
        }
        if (p == end || byteClasses[*p] == LineEndByte)
            break;
        if (byteClasses[*p] == OtherPathByte)
            return -1;
        fieldStart = p;
    }
    if (p == end && !atEnd)
        return -1;
    const qsizetype lineEnd = p - begin;
    if (count == 4 && lineEnd - pos <= MaxLineLength)
        NewByteRow(pieces[1], pieces[2], pieces[3]);
    return (p == end ? n : PastLineEnd(text, lineEnd)) - pos;
}

qsizetype NodeViewer::ReadWrittenCycleRun(const unsigned char *from, const unsigned char *end)
{
    // The loop keeps the ring's state in locals: a quiet log brings millions
    // of these lines.
    if (!cyclePrefixPlain)
        return 0;
    const auto view = [](const unsigned char *begin, const unsigned char *stop) {
        return QByteArrayView(begin, stop - begin);
    };
    const WrittenCycleShape shape(delimiter);
    const MarkCodes runMarks = marks;
    int count = pendingCount;
    int older = gridCompleted - droppedFromGrid;
    int made = 0;
    const unsigned char *line = from;
    for (;;) {
        const qsizetype digitCount = shape.Digits(line, end);
        if (digitCount == 0)
            break;
        const unsigned char *const digits = line + CyclePrefix.size() + 1;
        const unsigned char *const date = digits + digitCount + 1;
        const int at = pendingHead + count;
        PendingRow &row = pendingRows[size_t(at < PendingCapacity ? at : at - PendingCapacity)];
        row.marks = runMarks;
        row.textInBytes = true;
        row.statusBytes = view(digits, digits + digitCount);
        row.dateBytes = view(date, date + WrittenCycleShape::DateLength);
        row.clockBytes =
            view(date + WrittenCycleShape::DateLength + 1, date + WrittenCycleShape::TimeLength);
        ++count;
        ++made;
        line = date + WrittenCycleShape::TimeLength + 2;
        if (older + count + 2 > NodeViewerGrid::MaxRows) {
            pendingCount = count;
            BoundRows();
            count = pendingCount;
            older = gridCompleted - droppedFromGrid;
        }
    }
    rowsMade += made;
    pendingCount = count;
    return line - from;
}

void NodeViewer::ProcessLine(QByteArrayView line)
{
    const auto pieces = [&] {
        return SplitFields(QString::fromUtf8(line), QChar::fromLatin1(delimiter));
    };
    if (line.contains(BannerWord)) {
        if (const QStringList p = pieces(); p.size() == 8)
            StartBanner(p);
    } else if (line.contains(CycleWord)) {
        if (const QStringList p = pieces(); p.size() == 4) {
            PendingRow &row = NewPendingRow();
            row.status = p[1];
            row.time = p[2] + u' ' + p[3];
        }
    } else if (!line.contains('#') && CompletedRows() > 0 && HoldsFollowedIpField(line)) {
        if (const QStringList p = pieces(); p.size() == 7 && p[2] == followedIp)
            MarkLine(p);
    }
}

bool NodeViewer::HoldsFollowedIpField(QByteArrayView line) const
{
    // A cheap look before the split: the IP must stand as a field of its own,
    // so 10.0.0.1 does not pick up the lines of 10.0.0.10 or 10.0.0.100.
    const auto bounds = [this](char c) {
        return static_cast<unsigned char>(c) <= 32 || c == delimiter || c == '"';
    };
    const qsizetype size = followedIpBytes.size();
    for (qsizetype at = line.indexOf(followedIpBytes); at >= 0;
         at = line.indexOf(followedIpBytes, at + 1)) {
        if ((at == 0 || bounds(line[at - 1])) &&
            (at + size == line.size() || bounds(line[at + size])))
            return true;
    }
    return false;
}

void NodeViewer::StartBanner(const QStringList &pieces)
{
    bool ok = false;
    uint mask = pieces[3].toUInt(&ok, 16);
    if (!ok)
        mask = 0;
    for (int i = 0; i < TestCount; ++i)
        marks[size_t(i)] = (mask & (1u << i)) ? Mark::None : Mark::Off;
    // The empty bottom row becomes the start row; the row below it opens
    // the scan with its cycle 0.
    PendingRow &start = NewPendingRow();
    start.marks = {};
    start.status = u"START"_s;
    PendingRow &zero = NewPendingRow();
    zero.status = u"0"_s;
    zero.time = pieces[4] + u' ' + pieces[5];
}

void NodeViewer::MarkLine(const QStringList &pieces)
{
    MarkCodes &latest = LatestMarks();
    if (const int i = TestIndex(pieces[4]); i >= 0) {
        if (pieces[5] == u"ON")
            latest[size_t(i)] = i == BrIndex || i == M1Index ? Mark::Correct : Mark::Wrong;
        else if (pieces[5] == u"OFF")
            latest[size_t(i)] = Mark::None;
    }
    marks = latest;
}

NodeViewer::PendingRow &NodeViewer::NewPendingRow()
{
    PendingRow &row = PendingAt(pendingCount++);
    ++rowsMade;
    row.marks = marks;
    row.textInBytes = false;
    row.status.clear();
    row.time.clear();
    return row;
}

void NodeViewer::NewByteRow(QByteArrayView status, QByteArrayView date, QByteArrayView clock)
{
    // The slot's strings are left as they are: unread while the texts are
    // in bytes, and clearing them costs a quiet log much of its reading.
    PendingRow &row = PendingAt(pendingCount++);
    ++rowsMade;
    row.marks = marks;
    row.textInBytes = true;
    row.statusBytes = status;
    row.dateBytes = date;
    row.clockBytes = clock;
}

void NodeViewer::BoundRows()
{
    // The titles and the empty bottom row count too.
    if (CompletedRows() + 2 <= NodeViewerGrid::MaxRows)
        return;
    const int fromGrid = std::min(NodeViewerGrid::DropRows, gridCompleted - droppedFromGrid);
    droppedFromGrid += fromGrid;
    const int fromPending = NodeViewerGrid::DropRows - fromGrid;
    pendingHead = (pendingHead + fromPending) % PendingCapacity;
    pendingCount -= fromPending;
}

NodeViewer::MarkCodes &NodeViewer::LatestMarks()
{
    if (pendingCount > 0)
        return PendingAt(pendingCount - 1).marks;
    if (!gridLatestTouched) {
        gridLatestMarks = MarkCodesOf(grid.RowMarks(grid.RowCount() - 2));
        gridLatestTouched = true;
    }
    return gridLatestMarks;
}

void NodeViewer::SyncGrid()
{
    if (droppedFromGrid > 0)
        grid.DropOldest(droppedFromGrid);
    if (const int latest = gridCompleted - droppedFromGrid; gridLatestTouched && latest >= 1)
        grid.SetMarks(latest, MarkTexts(gridLatestMarks));
    if (pendingCount > 0) {
        QList<NodeViewerGrid::Row> rows;
        rows.reserve(pendingCount);
        for (int i = 0; i < pendingCount; ++i)
            rows.append(MaterializeRow(PendingAt(i)));
        grid.InsertAboveBottom(std::move(rows));
    }
    pendingHead = 0;
    pendingCount = 0;
    droppedFromGrid = 0;
    gridLatestTouched = false;
    gridCompleted = grid.RowCount() - 2;
}

NodeViewerGrid::Row NodeViewer::MaterializeRow(const PendingRow &row) const
{
    NodeViewerGrid::Row cells;
    if (row.textInBytes) {
        cells[NodeViewerGrid::StatusColumn] = QString::fromUtf8(row.statusBytes);
        cells[NodeViewerGrid::TimeColumn] =
            QString::fromUtf8(row.dateBytes) + u' ' + QString::fromUtf8(row.clockBytes);
    } else {
        cells[NodeViewerGrid::StatusColumn] = row.status;
        cells[NodeViewerGrid::TimeColumn] = row.time;
    }
    const NodeViewerGrid::Marks texts = MarkTexts(row.marks);
    for (int i = 0; i < TestCount; ++i)
        cells[size_t(FirstResultColumn + i)] = texts[size_t(i)];
    return cells;
}

NodeViewerGrid::Marks NodeViewer::MarkTexts(const MarkCodes &codes)
{
    NodeViewerGrid::Marks texts;
    for (int i = 0; i < TestCount; ++i) {
        switch (codes[size_t(i)]) {
        case Mark::None:
            break;
        case Mark::Off:
            texts[size_t(i)] = u"-"_s;
            break;
        case Mark::Correct:
            texts[size_t(i)] = u"O"_s;
            break;
        case Mark::Wrong:
            texts[size_t(i)] = u"X"_s;
            break;
        }
    }
    return texts;
}

NodeViewer::MarkCodes NodeViewer::MarkCodesOf(const NodeViewerGrid::Marks &texts)
{
    MarkCodes codes{};
    for (int i = 0; i < TestCount; ++i) {
        const QString &t = texts[size_t(i)];
        codes[size_t(i)] = t == u"-"   ? Mark::Off
                           : t == u"O" ? Mark::Correct
                           : t == u"X" ? Mark::Wrong
                                       : Mark::None;
    }
    return codes;
}

void NodeViewer::SelectLatestRow()
{
    Q_EMIT latestRowSelected(grid.RowCount() - 2);
}

} // namespace keelwatch
