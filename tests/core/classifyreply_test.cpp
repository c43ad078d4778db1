#include "core/classifyreply.h"
#include "core/nodecolumns.h"
#include "support/eventrecorder.h"

#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const NodeList::Tests DefaultTests{true, true, true, true, true, false, false, false, false, false};

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
    QString Cell(int index, int column) const { return NodeCellText(nodes.At(index), column); }
    NodeCells Cells(int index) const { return NodeCellTexts(nodes.At(index)); }
    const QStringList &Events() const { return recorder.lines; }

    NodeList nodes;
    ScanEvents events;
    EventRecorder recorder{events};
    QString comment = u"printer"_s;
    QString vendor = u"VMware"_s;
    QList<int> selected;
    ReplyTargets targets{nodes, events, [this](const IpAddress &) { return comment; },
                         [this](int index) { selected.append(index); }};
    ReplyOptions options{FrameFormat::Ethernet2, true, true, ScanStep::Scanning, {}};
};

TEST_F(Classify, FirstReplyAddsTheNode)
{
    Reply(3);
    ASSERT_EQ(nodes.Count(), 1);
    EXPECT_EQ(Cell(0, 0), u"192.168.0.7"_s);
    EXPECT_EQ(Cell(0, 1), u"00:0C:29:AA:BB:CC"_s);
    EXPECT_EQ(Cell(0, 3), u"X"_s);
    EXPECT_EQ(Cell(0, 7), u"-"_s); // M0 is off
    EXPECT_EQ(Cell(0, 12), u"printer"_s);
    EXPECT_EQ(Cell(0, 13), u"VMware"_s);
    EXPECT_EQ(Events(), QStringList({u"X 3 192.168.0.7"_s}));
    EXPECT_EQ(selected, QList<int>({0}));
}

TEST_F(Classify, SameReplyAgainOnlyRefreshesTheComment)
{
    Reply(3);
    const NodeCells before = Cells(0);
    comment = u"new comment"_s;
    Reply(3);
    NodeCells after = Cells(0);
    EXPECT_EQ(after[12], u"new comment"_s);
    after[12] = before[12];
    EXPECT_EQ(after, before);
    EXPECT_EQ(Events(), QStringList({u"X 3 192.168.0.7"_s}));
    EXPECT_EQ(nodes.Count(), 1);
}

TEST_F(Classify, AnswerAgainAfterCarryOverRaisesNothing)
{
    Reply(2);
    nodes.CarryOverMarks();
    ASSERT_EQ(Cell(0, 2), u"+"_s);
    Reply(2);
    EXPECT_EQ(Cell(0, 2), u"+O"_s);
    EXPECT_EQ(Events(), QStringList({u"O 2 192.168.0.7"_s}));
}

TEST_F(Classify, NewResponseOfAKnownNodeIsAnEventInCyclicScanning)
{
    Reply(2);
    Reply(4);
    EXPECT_EQ(Cell(0, 4), u"X"_s);
    EXPECT_EQ(Events(), QStringList({u"O 2 192.168.0.7"_s, u"X 4 192.168.0.7"_s}));
}

TEST_F(Classify, MacChangeComesBeforeTheMarkEvent)
{
    Reply(2);
    vendor = u"Intel"_s;
    Reply(3, u"192.168.0.7"_s, u"00:1B:21:00:00:01"_s);
    EXPECT_EQ(Cell(0, 1), u"00:1B:21:00:00:01"_s);
    EXPECT_EQ(Cell(0, 13), u"Intel"_s);
    EXPECT_EQ(Events(),
              QStringList({u"O 2 192.168.0.7"_s, u"mac 3 192.168.0.7"_s, u"X 3 192.168.0.7"_s}));
    EXPECT_EQ(nodes.Count(), 1);
}

// A MAC is compared as its bytes: one loaded from a file written another
// way is the same MAC, a different one is a change.
TEST_F(Classify, LoadedMacIsComparedAsBytes)
{
    Node loaded;
    loaded.ip = *IpAddress::FromText(u"192.168.0.7");
    loaded.mac = *MacAddress::FromText(u"00-0c-29-aa-bb-cc");
    nodes.Replace({loaded});
    Reply(2);
    EXPECT_EQ(Cell(0, 1), u"00:0C:29:AA:BB:CC"_s);
    EXPECT_EQ(Events(), QStringList({u"O 2 192.168.0.7"_s}));

    loaded.mac = *MacAddress::FromText(u"00-0c-29-aa-bb-cd");
    nodes.Replace({loaded});
    Reply(2);
    EXPECT_EQ(Cell(0, 1), u"00:0C:29:AA:BB:CC"_s);
    EXPECT_EQ(Events(),
              QStringList({u"O 2 192.168.0.7"_s, u"mac 2 192.168.0.7"_s, u"O 2 192.168.0.7"_s}));
}

// First seen stays from the node's first reply, whatever it answered; last
// seen follows every reply, also one that changes nothing else. A node read
// from a file is first seen at its first reply.
TEST_F(Classify, SeenTimesFollowTheReplies)
{
    options.when = 1000;
    Reply(0);
    options.when = 2000;
    Reply(2);
    options.when = 3000;
    Reply(2);
    EXPECT_EQ(nodes.At(0).firstSeen, 1000);
    EXPECT_EQ(nodes.At(0).lastSeen, 3000);

    Node loaded;
    loaded.ip = *IpAddress::FromText(u"192.168.0.8");
    loaded.mac = *MacAddress::FromText(u"00:0C:29:AA:BB:CD");
    nodes.Replace({loaded});
    options.when = 4000;
    Reply(2, u"192.168.0.8"_s, u"00:0C:29:AA:BB:CD"_s);
    EXPECT_EQ(nodes.At(0).firstSeen, 4000);
    EXPECT_EQ(nodes.At(0).lastSeen, 4000);
}

TEST_F(Classify, SingleScanRaisesNoMarkEvents)
{
    options.cyclic = false;
    Reply(3);
    Reply(4);
    EXPECT_EQ(Cell(0, 4), u"X"_s);
    EXPECT_TRUE(Events().isEmpty());
}

// A switched-off test answered all the same (a reply to an earlier scan's
// probe): a new node shows the answer in place of the "-" and raises it; a
// known node keeps the "-" in front and raises nothing, as a carried "+" does.
TEST_F(Classify, AnswerToASwitchedOffTest)
{
    Reply(7);
    EXPECT_EQ(Cell(0, 7), u"X"_s);
    EXPECT_EQ(Cell(0, 9), u"-"_s);
    Reply(9);
    EXPECT_EQ(Cell(0, 9), u"-X"_s);
    Reply(9);
    EXPECT_EQ(Cell(0, 9), u"-X"_s);
    EXPECT_EQ(Events(), QStringList({u"X 7 192.168.0.7"_s}));
}

TEST_F(Classify, NodeFindingStepRecordsNoMarkAndClearsTheOffMark)
{
    options.scanStep = ScanStep::FindingNodes;
    options.tests[0] = false; // Br off
    Reply(2);
    EXPECT_EQ(Cell(0, 2), u""_s);
    EXPECT_EQ(Cell(0, 7), u"-"_s);
    EXPECT_TRUE(Events().isEmpty());
    Reply(2);
    EXPECT_EQ(Cell(0, 2), u""_s);
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
    EXPECT_EQ(Cell(0, GetParam().k), mark);
    EXPECT_EQ(Events(), QStringList({u"%1 %2 192.168.0.7"_s.arg(mark).arg(GetParam().k)}));
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
    ASSERT_EQ(nodes.Count(), 1);
    const NodeCells added = Cells(0);
    EXPECT_EQ(added[1], u"00:0C:29:AA:BB:CC"_s);
    EXPECT_EQ(added[12], u"printer"_s);
    EXPECT_EQ(added[13], u"VMware"_s);
    for (int c = FirstResultColumn; c <= LastResultColumn; ++c)
        EXPECT_EQ(added[size_t(c)], DefaultTests[size_t(c - FirstResultColumn)] ? u""_s : u"-"_s);
    Reply(k);
    EXPECT_EQ(Cells(0), added);
    EXPECT_TRUE(Events().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Classify, WithoutResultColumn, testing::Values(0, 1, 12, 13, 14, 15));

} // namespace
