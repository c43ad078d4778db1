#include "core/nodetable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

// The probe sender reads column 0 while the reply analyser's side adds rows:
// the reader must always see whole rows and a row count that holds still
// during each operation.
TEST(NodeTableThreads, ReaderSeesWholeRowsWhileRowsAreAdded)
{
    NodeTable t;
    const NodeTable::Tests tests{true, true, true, true, true, false, false, false, false, false};
    constexpr int Rows = 3000;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};

    std::thread reader([&] {
        while (!done.load()) {
            const int count = t.RowCount();
            for (int row = 1; row < count - 1; ++row) {
                const NodeTable::Row cells = t.RowCells(row);
                // A row is never seen with its IP but without its MAC.
                if (cells[0].isEmpty() != cells[1].isEmpty())
                    ++torn;
            }
            t.FindNodeRow(u"10.0.5.5"_s);
            t.CountNodeRows(u"10.0.0.9"_s);
        }
    });
    std::thread writer([&] {
        for (int i = 0; i < Rows; ++i) {
            const QString ip = u"10.0.%1.%2"_s.arg(i / 256).arg(i % 256);
            const int row = t.AddNodeRow(ip, u"00:11:22:33:44:55"_s, tests);
            t.MergeMark(row, 3, u"X"_s);
        }
        done = true;
    });
    writer.join();
    reader.join();

    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(t.RowCount(), Rows + 2);
    EXPECT_EQ(t.FindNodeRow(u"10.0.11.183"_s), 11 * 256 + 183 + 1);
}

} // namespace
