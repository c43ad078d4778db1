#include "scan/replyanalyser.h"

#include "config/addresstext.h"

#include <chrono>
#include <exception>
#include <thread>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// A read waits this long before the stop request is looked at again.
constexpr int ReadWaitMs = 250;
// After the relay has gone every read fails at once; this keeps the loop
// from spinning until the scan is stopped.
constexpr auto FailedReadPause = std::chrono::milliseconds(50);
// Replies handed over in one call to the main thread at most.
constexpr qsizetype RepliesPerHandover = 256;

constexpr char16_t HexDigits[] = u"0123456789ABCDEF";

void AppendHex(QString &text, std::uint8_t byte)
{
    text += QChar(HexDigits[byte >> 4]);
    text += QChar(HexDigits[byte & 0x0F]);
}

} // namespace

ReplyPatterns BuildReplyPatterns(const SourceMacs &sources, const QString &ownIp,
                                 const MessageSink &sink)
{
    ReplyPatterns patterns;
    for (size_t k = 0; k < patterns.size(); ++k)
        patterns[k] = sources[k] + u' ' + IpTextToHexBytes(ownIp, sink).trimmed();
    return patterns;
}

std::optional<DecodedReply> DecodeCaptureRecord(const CaptureRecord &record,
                                                const ReplyPatterns &patterns)
{
    // Target MAC and target IP, "00 11 22 33 44 53 C0 A8 00 01".
    QString key;
    key.reserve(29);
    for (int i = 10; i < CaptureRecordSize; ++i) {
        if (i > 10)
            key += u' ';
        AppendHex(key, record[size_t(i)]);
    }
    int k = -1;
    for (size_t i = 0; i < patterns.size() && k < 0; ++i) {
        if (patterns[i] == key)
            k = int(i);
    }
    if (k < 0)
        return std::nullopt;

    DecodedReply reply;
    reply.sourceIndex = k;
    reply.ip = u"%1.%2.%3.%4"_s.arg(record[6]).arg(record[7]).arg(record[8]).arg(record[9]);
    reply.mac.reserve(17);
    for (int i = 0; i < 6; ++i) {
        if (i > 0)
            reply.mac += u':';
        AppendHex(reply.mac, record[size_t(i)]);
    }
    return reply;
}

QString VendorPrefix(const QString &mac)
{
    return mac.left(9);
}

ReplyAnalyser::ReplyAnalyser(std::shared_ptr<CaptureChannel> c,
                             std::shared_ptr<const ScanInputs> in, QObject *parent)
    : ScanThread(parent), channel(std::move(c)), inputs(std::move(in))
{
}

void ReplyAnalyser::Work()
{
    const ReplyPatterns patterns =
        BuildReplyPatterns(inputs->probeSourceMacs,
                           inputs->settings.ownIp ? inputs->settings.ownIp->ToText() : QString(),
                           [this](const QString &text) { Q_EMIT message(text); });
    CapturePipe &pipe = *channel->pipe;
    // An unexpected failure while decoding ends the analyser quietly;
    // replies then wait for the next Start.
    try {
        CaptureRecord record;
        quint64 recordsRead = 0;
        while (!stopRequested) {
            const CapturePipe::ReadResult read = pipe.Read(record, ReadWaitMs);
            if (read == CapturePipe::ReadResult::TimedOut)
                continue;
            if (read == CapturePipe::ReadResult::Failed) {
                if (!stopRequested)
                    std::this_thread::sleep_for(FailedReadPause);
                continue;
            }
            QList<DecodedReply> replies;
            do {
                ++recordsRead;
                if (auto reply = DecodeCaptureRecord(record, patterns)) {
                    reply->vendor = inputs->lookupVendor
                                        ? inputs->lookupVendor(VendorPrefix(reply->mac))
                                        : u"unknown"_s;
                    replies.append(std::move(*reply));
                }
            } while (replies.size() < RepliesPerHandover && !stopRequested &&
                     pipe.ReadWaiting(record));
            Q_EMIT repliesDecoded(replies, recordsRead);
        }
    } catch (const std::exception &) {
        return;
    }
}

} // namespace keelwatch
