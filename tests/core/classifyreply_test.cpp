#include "core/classifyreply.h"

#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

class EventRecorder : public EventSink
{
  public:
    void WriteEvent(const QString &kind, int number, int row) override
    {
        events.append(u"%1 %2 %3"_s.arg(kind).arg(number).arg(row));
    }
    QStringList events;
};

const NodeTable::Tests DefaultTests{true,  true,  true,  true,  true,
                                    false, false, false, false, false};

class Classify : public testing::Test
{
  protected:
    Classify() { options.tests = DefaultTests; }

    void Reply(int k, const QString &ip = u"192.168.0.7"_s,
               const QString &mac = u"00:0C:29:AA:BB:CC"_s)
    {
        ClassifyReply(
            targets, options,
            DecodedReply{*IpAddress::FromText(ip), *MacAddress::FromText(mac), k, vendor});
    }
    QString Cell(int row, int column) const { return table.Cell(row, column); }

    NodeTable table;
    EventRecorder recorder;
    QString comment = u"printer"_s;
    QString vendor = u"VMware"_s;
    QList<int> selected;
    ReplyTargets targets{table, recorder, [this](const QString &) { return comment; },
                         [this](int row) { selected.append(row); }};
    ReplyOptions options{FrameFormat::Ethernet2, true, true, 3, {}};
};

TEST_F(Classify, FirstReplyAddsTheNode)
{
    Reply(3);
    ASSERT_EQ(table.RowCount(), 3);
    EXPECT_EQ(Cell(1, 0), u"192.168.0.7"_s);
    EXPECT_EQ(Cell(1, 1), u"00:0C:29:AA:BB:CC"_s);
    EXPECT_EQ(Cell(1, 3), u"X"_s);
    EXPECT_EQ(Cell(1, 7), u"-"_s); // M0 is off
    EXPECT_EQ(Cell(1, 12), u"printer"_s);
    EXPECT_EQ(Cell(1, 13), u"VMware"_s);
    EXPECT_EQ(recorder.events, QStringList({u"X 3 1"_s}));
    EXPECT_EQ(selected, QList<int>({1}));
}

TEST_F(Classify, SameReplyAgainOnlyRefreshesTheComment)
{
    Reply(3);
    const NodeTable::Row before = table.RowCells(1);
    comment = u"new comment"_s;
    Reply(3);
    NodeTable::Row after = table.RowCells(1);
    EXPECT_EQ(after[12], u"new comment"_s);
    after[12] = before[12];
    EXPECT_EQ(after, before);
    EXPECT_EQ(recorder.events, QStringList({u"X 3 1"_s}));
    EXPECT_EQ(table.RowCount(), 3);
}

TEST_F(Classify, AnswerAgainAfterCarryOverRaisesNothing)
{
    Reply(2);
    table.CarryOverMarks();
    ASSERT_EQ(Cell(1, 2), u"+"_s);
    Reply(2);
    EXPECT_EQ(Cell(1, 2), u"+O"_s);
    EXPECT_EQ(recorder.events, QStringList({u"O 2 1"_s}));
}

TEST_F(Classify, NewResponseOfAKnownNodeIsAnEventInCyclicScanning)
{
    Reply(2);
    Reply(4);
    EXPECT_EQ(Cell(1, 4), u"X"_s);
    EXPECT_EQ(recorder.events, QStringList({u"O 2 1"_s, u"X 4 1"_s}));
}

TEST_F(Classify, MacChangeComesBeforeTheMarkEvent)
{
    Reply(2);
    vendor = u"Intel"_s;
    Reply(3, u"192.168.0.7"_s, u"00:1B:21:00:00:01"_s);
    EXPECT_EQ(Cell(1, 1), u"00:1B:21:00:00:01"_s);
    EXPECT_EQ(Cell(1, 13), u"Intel"_s);
    EXPECT_EQ(recorder.events, QStringList({u"O 2 1"_s, u"mac 3 1"_s, u"X 3 1"_s}));
    EXPECT_EQ(table.RowCount(), 3);
}

TEST_F(Classify, MacStoredInAnotherFormCountsAsChanged)
{
    table.ReplaceNodes({NodeTable::Row{u"192.168.0.7"_s, u"00-0c-29-aa-bb-cc"_s}});
    Reply(2);
    EXPECT_EQ(Cell(1, 1), u"00:0C:29:AA:BB:CC"_s);
    EXPECT_EQ(recorder.events.first(), u"mac 2 1"_s);
}

TEST_F(Classify, SingleScanRaisesNoMarkEvents)
{
    options.cyclic = false;
    Reply(3);
    Reply(4);
    EXPECT_EQ(Cell(1, 4), u"X"_s);
    EXPECT_TRUE(recorder.events.isEmpty());
}

TEST_F(Classify, NodeFindingStepRecordsNoMarkAndClearsTheOffMark)
{
    options.scanStep = 2;
    options.tests[0] = false; // Br off
    Reply(2);
    EXPECT_EQ(Cell(1, 2), u""_s);
    EXPECT_EQ(Cell(1, 7), u"-"_s);
    EXPECT_TRUE(recorder.events.isEmpty());
    Reply(2);
    EXPECT_EQ(Cell(1, 2), u""_s);
}

struct MarkCase
{
    FrameFormat format;
    int k;
    const char16_t *mark;
};

class Marks : public Classify, public testing::WithParamInterface<MarkCase>
{
};

TEST_P(Marks, LetterFollowsColumnAndFrameFormat)
{
    options.format = GetParam().format;
    Reply(GetParam().k);
    const QString mark = QString::fromUtf16(GetParam().mark);
    EXPECT_EQ(Cell(1, GetParam().k), mark);
    EXPECT_EQ(recorder.events, QStringList({u"%1 %2 1"_s.arg(mark).arg(GetParam().k)}));
}

INSTANTIATE_TEST_SUITE_P(Classify, Marks,
                         testing::Values(MarkCase{FrameFormat::Ethernet2, 2, u"O"},
                                         MarkCase{FrameFormat::Ethernet2, 8, u"O"},
                                         MarkCase{FrameFormat::Ethernet2, 3, u"X"},
                                         MarkCase{FrameFormat::Ethernet2, 11, u"X"},
                                         MarkCase{FrameFormat::Ieee8023, 2, u"o"},
                                         MarkCase{FrameFormat::Ieee8023, 8, u"o"},
                                         MarkCase{FrameFormat::Ieee8023, 5, u"x"}),
                         [](const testing::TestParamInfo<MarkCase> &info) {
                             const bool ieee = info.param.format == FrameFormat::Ieee8023;
                             return (ieee ? "Ieee8023Column" : "EthernetColumn") +
                                    std::to_string(info.param.k);
                         });

class WithoutResultColumn : public Classify, public testing::WithParamInterface<int>
{
};

// Source addresses 0 (the own MAC itself), 1 and 12 to 15 are never probed;
// their replies add or update the node and leave MAC, comment and vendor
// cells alone.
TEST_P(WithoutResultColumn, AddsOrUpdatesTheNodeWithoutAMark)
{
    const int k = GetParam();
    Reply(k);
    ASSERT_EQ(table.RowCount(), 3);
    const NodeTable::Row added = table.RowCells(1);
    EXPECT_EQ(added[1], u"00:0C:29:AA:BB:CC"_s);
    EXPECT_EQ(added[12], u"printer"_s);
    EXPECT_EQ(added[13], u"VMware"_s);
    for (int c = FirstResultColumn; c <= LastResultColumn; ++c)
        EXPECT_EQ(added[size_t(c)], DefaultTests[size_t(c - FirstResultColumn)] ? u""_s : u"-"_s);
    Reply(k);
    EXPECT_EQ(table.RowCells(1), added);
    EXPECT_TRUE(recorder.events.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Classify, WithoutResultColumn, testing::Values(0, 1, 12, 13, 14, 15));

} // namespace
