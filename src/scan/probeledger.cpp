#include "scan/probeledger.h"

namespace keelwatch {

ProbeLedger::ProbeLedger(quint32 f, quint32 l)
    : first(f), last(l), wordCount(l >= f ? std::size_t((std::uint64_t(l) - f) / 64 + 1) : 0),
      words(std::make_unique<std::atomic<std::uint64_t>[]>(wordCount))
{
}

void ProbeLedger::Note(quint32 address)
{
    if (!InRange(address))
        return;
    const quint32 bit = address - first;
    words[bit / 64].fetch_or(std::uint64_t(1) << (bit % 64), std::memory_order_release);
}

bool ProbeLedger::Asked(quint32 address) const
{
    if (!InRange(address))
        return false;
    const quint32 bit = address - first;
    return (words[bit / 64].load(std::memory_order_acquire) >> (bit % 64)) & 1;
}

void ProbeLedger::Forget()
{
    for (std::size_t i = 0; i < wordCount; ++i)
        words[i].store(0, std::memory_order_relaxed);
}

} // namespace keelwatch
