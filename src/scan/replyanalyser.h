#pragma once

#include "config/addresstext.h"
#include "scan/capturechannel.h"
#include "scan/probeledger.h"
#include "scan/scaninputs.h"
#include "scan/scanthread.h"

#include <array>
#include <atomic>
#include <memory>
#include <optional>

namespace keelwatch {

// Replies handed over in one signal at most.
constexpr qsizetype RepliesPerHandover = 256;

// The target MAC and target IP that a reply to one source address carries:
// the source address and the own IP, as bytes of a capture pipe record.
using ReplyPattern = std::array<std::uint8_t, 10>;
// One per source address. A source address that is not six upper-case hex
// bytes between blanks ("00 11 22 33 44 53") has none and matches nothing;
// a bad own IP is told to the sink for every address and matches nothing.
using ReplyPatterns = std::array<std::optional<ReplyPattern>, SourceAddressCount>;
ReplyPatterns BuildReplyPatterns(const SourceMacs &sources, const QString &ownIp,
                                 const MessageSink &sink);

// Decodes a capture pipe record: the first source index whose pattern
// matches its target MAC and IP, and the sender's IP and MAC; the vendor is
// left empty. Nothing when no pattern matches.
std::optional<DecodedReply> DecodeCaptureRecord(const CaptureRecord &record,
                                                const ReplyPatterns &patterns);

// Everything a reply must match to count: a target of the scan (one of the
// sixteen source addresses or a confirmation probe's, and the own IP) and a
// sender the scan asked.
struct ReplyBinding
{
    ReplyPatterns patterns;
    // By confirmation probe.
    std::vector<ReplyPattern> confirmations;
    quint32 ownIp = 0;
    // Addresses of the range asked in this sweep; without a ledger any
    // address of the range counts as asked.
    const ProbeLedger *asked = nullptr;
    quint32 rangeStart = 1;
    quint32 rangeEnd = 0;
};
ReplyBinding BuildReplyBinding(const ScanInputs &inputs, const MessageSink &sink);

// The reply a record carries when it answers a probe of the scan: its target
// is one of the binding's, its sender IP an asked address of the range and
// none that no host may have (0.0.0.0, a group or the limited broadcast
// address, the own IP), its sender MAC a unicast address that is not all
// zeros. A confirmation reply gets ConfirmationSourceIndex and its probe.
// Nothing for any other record.
std::optional<DecodedReply> AcceptCaptureRecord(const CaptureRecord &record,
                                                const ReplyBinding &binding);

// The vendor prefix the vendor table reads, "00:0C:29:".
QString VendorPrefix(const MacAddress &mac);

// The reply analyser: reads capture pipe records, recognises the probe each
// one answers and hands the decoded replies to the main thread; the others
// are counted in the channel's rejected replies.
class ReplyAnalyser : public ScanThread
{
    Q_OBJECT

  public:
    ReplyAnalyser(std::shared_ptr<CaptureChannel> channel, std::shared_ptr<const ScanInputs> inputs,
                  QObject *parent = nullptr);

    // A stop takes effect before the next read.

  Q_SIGNALS:
    // Replies read together (RepliesPerHandover at most), in pipe order, and
    // the records read from the pipe so far, those without a reply of ours
    // included: told whenever the pipe is empty, so that the count reaches
    // what the relay wrote.
    void repliesDecoded(const QList<keelwatch::DecodedReply> &replies, quint64 recordsRead);
    // Replies rejected in this capture so far (by relay and analyser), told
    // when the analyser's rejections made it grow.
    void repliesRejected(quint64 count);

  protected:
    void Work() override;

  private:
    std::shared_ptr<CaptureChannel> channel;
    std::shared_ptr<const ScanInputs> inputs;
};

} // namespace keelwatch
