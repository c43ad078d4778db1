#include "report/commenttable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

// The reply analyser looks comments up on its own thread while the comment
// editor stores them on the main thread.
TEST(CommentTableThreads, LookupsWhileStoring)
{
    CommentTable t;
    std::atomic<bool> done{false};
    std::atomic<int> seen{0};
    std::thread reader([&] {
        while (!done) {
            const QString c = t.LookupComment(u"10.0.0.1"_s);
            if (!c.isEmpty() && !c.startsWith(u"v"_s))
                ADD_FAILURE() << "torn comment";
            if (!c.isEmpty())
                ++seen;
        }
    });
    for (int i = 0; i < 2000; ++i)
        t.SetComment(u"10.0.%1.%2"_s.arg(i / 256).arg(i % 256), u"v%1"_s.arg(i));
    for (int i = 0; i < 2000 && seen == 0; ++i)
        t.SetComment(u"10.0.0.1"_s, u"v%1"_s.arg(i));
    done = true;
    reader.join();
    EXPECT_EQ(t.Entries().size(), 2000);
}

} // namespace
