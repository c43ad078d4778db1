#pragma once

#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <memory>

namespace keelwatch {

// The addresses of a scan's range that the current sweep, its recheck or a
// confirmation has asked: a reply from any other address answers no probe
// of this scan. The senders note, the analyser reads; any thread.
class ProbeLedger
{
  public:
    // An empty range (last before first) holds nothing.
    ProbeLedger(quint32 first, quint32 last);

    bool InRange(quint32 address) const { return address >= first && address <= last; }
    // Notes an address of the range as asked; others are ignored.
    void Note(quint32 address);
    bool Asked(quint32 address) const;
    // A new sweep: nothing has been asked yet.
    void Forget();

  private:
    quint32 first;
    quint32 last;
    std::size_t wordCount;
    std::unique_ptr<std::atomic<std::uint64_t>[]> words;
};

} // namespace keelwatch
