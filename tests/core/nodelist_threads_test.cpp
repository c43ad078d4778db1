#include "core/nodelist.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace keelwatch;

namespace {

IpAddress NodeIp(int i)
{
    return IpAddress::FromIpv4(0x0A000000u + quint32(i));
}

// The probe sender asks how many nodes hold an IP while the main thread adds
// nodes: it sees each node either not yet or whole, never a count that goes
// back or past what was added.
TEST(NodeListThreads, CountOfFromAnotherThreadWhileNodesAreAdded)
{
    NodeList nodes;
    const NodeList::Tests tests{true, true, true, true, true, false, false, false, false, false};
    constexpr int Count = 3000;
    // Every IP is added twice: once in the first half, once in the second.
    constexpr int Ips = Count / 2;
    std::atomic<int> added{0};
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};

    std::thread reader([&] {
        std::vector<int> seen(Ips, 0);
        while (!done.load()) {
            for (int i = 0; i < Ips; i += 7) {
                const int before = added.load();
                const int count = nodes.CountOf(NodeIp(i));
                const int after = added.load();
                // Nodes added before the call are counted; of those not yet
                // added, at most the one being added.
                const int least = (before > i) + (before > Ips + i);
                const int most = (after > i) + (after > Ips + i) + (after == i || after == Ips + i);
                if (count < least || count > most || count < seen[size_t(i)])
                    ++wrong;
                seen[size_t(i)] = count;
            }
        }
    });
    for (int i = 0; i < Count; ++i) {
        const int index = nodes.Add(NodeIp(i % Ips), MacAddress(), tests);
        nodes.SetMark(index, 3, Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2));
        added = i + 1;
    }
    done = true;
    reader.join();

    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(nodes.Count(), Count);
    EXPECT_EQ(nodes.CountOf(NodeIp(11 * 256 % Ips)), 2);
    EXPECT_EQ(nodes.Find(NodeIp(183)), Ips + 183);
}

} // namespace
