#include "scan/replyanalyser.h"

#include "config/addresstext.h"

#include <QHash>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <cstring>
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

// The bytes of a MAC text exactly as a record's hex would read: six
// upper-case two-digit bytes between blanks.
std::optional<MacAddress> CanonicalMac(const QString &text)
{
    const auto mac = MacAddress::FromText(text);
    if (!mac || mac->ToText(QChar(u' ')) != text)
        return std::nullopt;
    return mac;
}

} // namespace

ReplyPatterns BuildReplyPatterns(const SourceMacs &sources, const QString &ownIp,
                                 const MessageSink &sink)
{
    ReplyPatterns patterns;
    const auto ip = IpLinesToNumber(ownIp);
    for (size_t k = 0; k < patterns.size(); ++k) {
        if (!ip) {
            if (sink)
                sink(u"IP Address Error"_s);
            continue;
        }
        const auto mac = CanonicalMac(sources[k]);
        if (!mac)
            continue;
        ReplyPattern pattern;
        std::copy(mac->bytes.begin(), mac->bytes.end(), pattern.begin());
        qToBigEndian(*ip, pattern.data() + mac->bytes.size());
        patterns[k] = pattern;
    }
    return patterns;
}

std::optional<DecodedReply> DecodeCaptureRecord(const CaptureRecord &record,
                                                const ReplyPatterns &patterns)
{
    // Target MAC and target IP.
    constexpr std::size_t TargetAt = 10;
    for (size_t k = 0; k < patterns.size(); ++k) {
        const auto &pattern = patterns[k];
        if (!pattern ||
            std::memcmp(pattern->data(), record.data() + TargetAt, pattern->size()) != 0)
            continue;
        return DecodedReply{IpAddress::FromIpv4(qFromBigEndian<std::uint32_t>(record.data() + 6)),
                            MacAddress::FromBytes(record.data()), int(k), QString()};
    }
    return std::nullopt;
}

QString VendorPrefix(const MacAddress &mac)
{
    return mac.ToText().left(9);
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
    // Vendor names by vendor code, kept until the next hand-over: a flood
    // of replies from a few makers is looked up a few times per hand-over,
    // not once per reply.
    QHash<std::uint32_t, QString> vendors;
    const auto vendorOf = [&](const MacAddress &mac) {
        auto it = vendors.constFind(mac.Oui());
        if (it == vendors.constEnd())
            it = vendors.insert(mac.Oui(),
                                inputs->lookupVendor ? inputs->lookupVendor(mac) : u"unknown"_s);
        return *it;
    };
    // An unexpected failure while decoding ends the analyser quietly;
    // replies then wait for the next Start.
    try {
        std::vector<CaptureRecord> records;
        records.reserve(RecordsPerMessage);
        QList<DecodedReply> replies;
        quint64 recordsRead = 0;
        quint64 recordsTold = 0;
        const auto tell = [&] {
            Q_EMIT repliesDecoded(replies, recordsRead);
            replies = QList<DecodedReply>();
            recordsTold = recordsRead;
            vendors.clear();
        };
        while (!stopRequested) {
            const CapturePipe::ReadResult read = pipe.Read(records, ReadWaitMs);
            if (read == CapturePipe::ReadResult::TimedOut)
                continue;
            if (read == CapturePipe::ReadResult::Failed) {
                if (!stopRequested)
                    std::this_thread::sleep_for(FailedReadPause);
                continue;
            }
            do {
                for (const CaptureRecord &record : records) {
                    ++recordsRead;
                    auto reply = DecodeCaptureRecord(record, patterns);
                    if (!reply)
                        continue;
                    reply->vendor = vendorOf(reply->mac);
                    replies.append(std::move(*reply));
                    if (replies.size() == RepliesPerHandover)
                        tell();
                }
                // Records of others' replies are counted as handled soon
                // too, however many come.
                if (recordsRead - recordsTold >= RecordsPerMessage)
                    tell();
            } while (!stopRequested && pipe.ReadWaiting(records));
            if (recordsRead != recordsTold)
                tell();
        }
    } catch (const std::exception &) {
        return;
    }
}

} // namespace keelwatch
