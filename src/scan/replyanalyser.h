#pragma once

#include "config/addresstext.h"
#include "scan/capturechannel.h"
#include "scan/scaninputs.h"
#include "scan/scanthread.h"

#include <array>
#include <atomic>
#include <memory>
#include <optional>

namespace keelwatch {

// Reply patterns: source address k, a blank, and the own IP as hex bytes.
using ReplyPatterns = std::array<QString, SourceAddressCount>;
ReplyPatterns BuildReplyPatterns(const SourceMacs &sources, const QString &ownIp,
                                 const MessageSink &sink);

// Decodes a capture pipe record: the source index whose pattern matches its
// target MAC and IP, and the sender's IP and MAC texts. Nothing when no
// pattern matches.
std::optional<DecodedReply> DecodeCaptureRecord(const CaptureRecord &record,
                                                const ReplyPatterns &patterns);

// The node's vendor prefix, "00:0C:29:", from a MAC text "00:0C:29:AA:BB:CC".
QString VendorPrefix(const QString &mac);

// The reply analyser: reads capture pipe records, recognises the probe each
// one answers and hands the decoded replies to the main thread.
class ReplyAnalyser : public ScanThread
{
    Q_OBJECT

  public:
    ReplyAnalyser(std::shared_ptr<CaptureChannel> channel, std::shared_ptr<const ScanInputs> inputs,
                  QObject *parent = nullptr);

    // A stop takes effect before the next read.

  Q_SIGNALS:
    // Replies read together, in pipe order, and the records read from the
    // pipe so far, those without a reply of ours included: told for every
    // read, so that the count reaches what the relay wrote.
    void repliesDecoded(const QList<keelwatch::DecodedReply> &replies, quint64 recordsRead);

  protected:
    void Work() override;

  private:
    std::shared_ptr<CaptureChannel> channel;
    std::shared_ptr<const ScanInputs> inputs;
};

} // namespace keelwatch
