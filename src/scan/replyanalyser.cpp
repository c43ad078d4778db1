#include "scan/replyanalyser.h"

#include "config/addresstext.h"
#include "scan/confirmationprobes.h"

#include <QCoreApplication>
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
                sink(QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "IP Address Error")));
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

ReplyBinding BuildReplyBinding(const ScanInputs &inputs, const MessageSink &sink)
{
    // Replies go to the address the probes gave as sender: 0.0.0.0 for
    // address probes, else the own IP.
    const std::optional<quint32> senderIp = ProbeSenderAddress(inputs.settings);
    const QString patternIp = senderIp ? IpAddress::FromIpv4(*senderIp).ToText() : QString();
    ReplyBinding binding;
    binding.patterns = BuildReplyPatterns(inputs.probeSourceMacs, patternIp, sink);
    if (senderIp) {
        binding.ownIp = inputs.settings.ownIp->ToIpv4();
        for (const MacBytes &source : inputs.confirmationSources) {
            ReplyPattern pattern;
            std::copy(source.begin(), source.end(), pattern.begin());
            qToBigEndian(*senderIp, pattern.data() + source.size());
            binding.confirmations.push_back(pattern);
        }
    }
    binding.asked = inputs.asked.get();
    binding.rangeStart = inputs.rangeStart;
    binding.rangeEnd = inputs.rangeEnd;
    return binding;
}

namespace {

// No host answers from these.
bool UnusableSenderIp(quint32 ip, quint32 ownIp)
{
    return ip == 0 || ip == 0xFFFFFFFF || (ip >> 28) == 0xE || ip == ownIp;
}

bool UsableSenderMac(const MacAddress &mac)
{
    return (mac.bytes[0] & 0x01) == 0 &&
           std::any_of(mac.bytes.begin(), mac.bytes.end(), [](std::uint8_t b) { return b != 0; });
}

} // namespace

std::optional<DecodedReply> AcceptCaptureRecord(const CaptureRecord &record,
                                                const ReplyBinding &binding)
{
    std::optional<DecodedReply> reply = DecodeCaptureRecord(record, binding.patterns);
    if (!reply) {
        constexpr std::size_t TargetAt = 10;
        for (std::size_t j = 0; j < binding.confirmations.size() && !reply; ++j) {
            const ReplyPattern &pattern = binding.confirmations[j];
            if (std::memcmp(pattern.data(), record.data() + TargetAt, pattern.size()) == 0)
                reply = DecodedReply{
                    IpAddress::FromIpv4(qFromBigEndian<std::uint32_t>(record.data() + 6)),
                    MacAddress::FromBytes(record.data()), ConfirmationSourceIndex, QString(),
                    int(j)};
        }
    }
    if (!reply)
        return std::nullopt;
    const quint32 sender = reply->ip.ToIpv4();
    if (sender < binding.rangeStart || sender > binding.rangeEnd ||
        UnusableSenderIp(sender, binding.ownIp) || !UsableSenderMac(reply->mac) ||
        (binding.asked && !binding.asked->Asked(sender)))
        return std::nullopt;
    return reply;
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
    const ReplyBinding binding =
        BuildReplyBinding(*inputs, [this](const QString &text) { Q_EMIT message(text); });
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
        quint64 rejected = 0;
        const auto tell = [&] {
            // Counted before the replies are told, so that a step that
            // waits for them sees the rejections too.
            if (rejected > 0) {
                const quint64 total = channel->rejectedReplies.fetch_add(rejected) + rejected;
                rejected = 0;
                Q_EMIT repliesRejected(total);
            }
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
                    auto reply = AcceptCaptureRecord(record, binding);
                    if (!reply) {
                        ++rejected;
                        continue;
                    }
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
