#include "core/nodecolumns.h"
#include "core/nodelist.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const NodeList::Tests AllOn{true, true, true, true, true, true, true, true, true, true};
const NodeList::Tests Defaults{true, true, true, true, true, false, false, false, false, false};

constexpr Mark Carried(Answer answer, bool ieee = false)
{
    return Mark{answer, ieee, true, false};
}

IpAddress Ip(const QString &text)
{
    return *IpAddress::FromText(text);
}

MacAddress Mac(const QString &text)
{
    return *MacAddress::FromText(text);
}

QString Cell(const NodeList &nodes, int index, int column)
{
    return NodeCellText(nodes.At(index), column);
}

// Every state a mark can be in, and the letters the grid, the node list file
// and the log show for it.
struct MarkCase
{
    Mark mark;
    const char16_t *text;
};

class MarkText : public testing::TestWithParam<MarkCase>
{
};

TEST_P(MarkText, ShowsTheOldCellLetters)
{
    const Mark mark = GetParam().mark;
    EXPECT_EQ(mark.Text(), QString::fromUtf16(GetParam().text));
    // The letter is the text without its "+" or "-".
    EXPECT_EQ(mark.Letter(), mark.Text().remove(u'+').remove(u'-'));
    EXPECT_EQ(mark.Waiting(), mark.Text() == u"+"_s);
    EXPECT_EQ(mark.IsEmpty(), mark.Text().isEmpty());
    // A file's cell reads back as the mark it was written from.
    EXPECT_EQ(Mark::FromText(mark.Text()), mark);
}

TEST(MarkText, OtherTextIsNoMark)
{
    EXPECT_EQ(Mark::FromText(u" X "), Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2));
    for (const char16_t *text : {u"Q", u"OX", u"++", u"+-", u"-+O", u"0"})
        EXPECT_EQ(Mark::FromText(QStringView(text)), std::nullopt)
            << QString::fromUtf16(text).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Mark, MarkText,
    testing::Values(MarkCase{Mark{}, u""}, MarkCase{Mark::Off(), u"-"},
                    MarkCase{Mark::Answered(Answer::Normal, FrameFormat::Ethernet2), u"O"},
                    MarkCase{Mark::Answered(Answer::Normal, FrameFormat::Ieee8023), u"o"},
                    MarkCase{Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2), u"X"},
                    MarkCase{Mark::Answered(Answer::Illegal, FrameFormat::Ieee8023), u"x"},
                    MarkCase{Carried(Answer::None), u"+"}, MarkCase{Carried(Answer::Normal), u"+O"},
                    MarkCase{Carried(Answer::Normal, true), u"+o"},
                    MarkCase{Carried(Answer::Illegal), u"+X"},
                    MarkCase{Carried(Answer::Illegal, true), u"+x"},
                    // A switched-off test that was answered all the same.
                    MarkCase{Mark{Answer::Normal, false, false, true}, u"-O"},
                    MarkCase{Mark{Answer::Illegal, true, false, true}, u"-x"}));

TEST(NodeList, EmptyListHasNoNodes)
{
    NodeList nodes;
    EXPECT_EQ(nodes.Count(), 0);
    EXPECT_EQ(NodeColumnTitle(NodeColumn::Ip), u"IP Address"_s);
    EXPECT_EQ(NodeColumnTitle(NodeColumn::Vendor), u"Vender Code"_s);
    EXPECT_EQ(NodeColumnTitle(9), u"M3"_s);
    EXPECT_EQ(NodeColumnTitle(10), u"S1"_s);
    EXPECT_EQ(NodeColumnTitle(NodeColumn::Count), QString());
    EXPECT_EQ(nodes.Find(Ip(u"10.0.0.1"_s)), std::nullopt);
    EXPECT_EQ(nodes.Find(IpAddress()), std::nullopt);
    QSignalSpy changed(&nodes, &NodeList::nodesChanged);
    nodes.MarkScanOffAll(Defaults);
    nodes.ClearConfirmations();
    EXPECT_EQ(nodes.Count(), 0);
    EXPECT_TRUE(changed.isEmpty());
}

TEST(NodeList, AddedNodeMarksSwitchedOffTests)
{
    NodeList nodes;
    QSignalSpy added(&nodes, &NodeList::nodesAdded);
    const int index = nodes.Add(Ip(u"10.0.0.5"_s), Mac(u"00:11:22:33:44:55"_s), Defaults);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(nodes.Count(), 1);
    ASSERT_EQ(added.count(), 1);
    EXPECT_EQ(added.at(0), (QVariantList{0, 0}));
    EXPECT_EQ(Cell(nodes, index, 2), QString());
    for (int c = 7; c <= 11; ++c)
        EXPECT_EQ(Cell(nodes, index, c), u"-"_s) << c;
    EXPECT_EQ(Cell(nodes, index, NodeColumn::Ip), u"10.0.0.5"_s);
    EXPECT_EQ(Cell(nodes, index, NodeColumn::Mac), u"00:11:22:33:44:55"_s);
}

// Replies that arrive together are announced as one addition, when the
// batch ends.
TEST(NodeList, BatchAnnouncesOnceAtItsEnd)
{
    NodeList nodes;
    nodes.Add(Ip(u"10.0.0.1"_s), Mac(u"02:00:00:00:00:01"_s), AllOn);
    QSignalSpy added(&nodes, &NodeList::nodesAdded);

    nodes.BeginBatch();
    for (int i = 2; i <= 4; ++i) {
        const int index = nodes.Add(Ip(u"10.0.0.%1"_s.arg(i)), MacAddress(), AllOn);
        nodes.SetMark(index, 3, Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2));
        nodes.SetVendor(index, u"vendor"_s);
    }
    EXPECT_EQ(nodes.Count(), 4); // the list itself is complete
    EXPECT_EQ(nodes.Find(Ip(u"10.0.0.4"_s)), 3);
    EXPECT_TRUE(added.isEmpty());
    nodes.EndBatch();

    ASSERT_EQ(added.count(), 1);
    EXPECT_EQ(added.at(0), (QVariantList{1, 3}));
    EXPECT_EQ(Cell(nodes, 2, 3), u"X"_s);

    // An empty batch announces nothing, and a second Begin does not move
    // the batch's start.
    nodes.BeginBatch();
    nodes.EndBatch();
    EXPECT_EQ(added.count(), 1);
    nodes.BeginBatch();
    nodes.Add(Ip(u"10.0.0.5"_s), MacAddress(), AllOn);
    nodes.BeginBatch();
    nodes.Add(Ip(u"10.0.0.6"_s), MacAddress(), AllOn);
    nodes.EndBatch();
    ASSERT_EQ(added.count(), 2);
    EXPECT_EQ(added.at(1), (QVariantList{4, 5}));
    nodes.EndBatch();
    EXPECT_EQ(added.count(), 2);
}

// A list replaced while a batch runs is announced by the replacement; the
// batch announces only what was added after it.
TEST(NodeList, BatchAfterReplaceAnnouncesOnlyLaterNodes)
{
    NodeList nodes;
    QSignalSpy added(&nodes, &NodeList::nodesAdded);
    QSignalSpy replaced(&nodes, &NodeList::replaced);
    nodes.BeginBatch();
    nodes.Add(Ip(u"10.0.0.1"_s), MacAddress(), AllOn);
    QList<Node> loaded(3);
    for (int i = 0; i < 3; ++i)
        loaded[i].ip = IpAddress::FromIpv4(0x0A000100u + quint32(i));
    nodes.Replace(std::move(loaded));
    nodes.Add(Ip(u"10.0.2.1"_s), MacAddress(), AllOn);
    nodes.EndBatch();
    EXPECT_EQ(replaced.count(), 1);
    ASSERT_EQ(added.count(), 1);
    EXPECT_EQ(added.at(0), (QVariantList{3, 3}));
    EXPECT_EQ(nodes.Find(Ip(u"10.0.0.1"_s)), std::nullopt);
}

TEST(NodeList, TwoNodesWithOneIpGoToTheLaterNode)
{
    NodeList nodes;
    QList<Node> loaded(3);
    loaded[0].ip = Ip(u"10.0.0.1"_s);
    loaded[0].mac = Mac(u"02:00:00:00:00:0A"_s);
    loaded[1].ip = Ip(u"10.0.0.2"_s);
    loaded[2].ip = Ip(u"10.0.0.1"_s);
    loaded[2].mac = Mac(u"02:00:00:00:00:0B"_s);
    nodes.Replace(loaded);
    EXPECT_EQ(nodes.Count(), 3);
    EXPECT_EQ(nodes.Find(Ip(u"10.0.0.1"_s)), 2);
    EXPECT_EQ(nodes.CountOf(Ip(u"10.0.0.1"_s)), 2);
    EXPECT_EQ(nodes.CountOf(Ip(u"10.0.0.3"_s)), 0);
    // Addresses compare as numbers, however they were written.
    EXPECT_EQ(nodes.Find(Ip(u"010.000.000.001"_s)), 2);

    // A comment belongs to the IP: every node of it shows it.
    QSignalSpy changed(&nodes, &NodeList::nodesChanged);
    nodes.SetCommentOf(Ip(u"10.0.0.1"_s), u"printer"_s);
    EXPECT_EQ(nodes.At(0).comment, u"printer"_s);
    EXPECT_EQ(nodes.At(1).comment, QString());
    EXPECT_EQ(nodes.At(2).comment, u"printer"_s);
    EXPECT_EQ(changed.count(), 2);

    // So does a confirmation verdict, counted by IP.
    changed.clear();
    nodes.BeginConfirmation(Ip(u"10.0.0.1"_s), MacAddress());
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(0), (QVariantList{0, 0}));
    EXPECT_EQ(changed.at(1), (QVariantList{2, 2}));
    EXPECT_EQ(nodes.ConfirmationAnswers(Ip(u"10.0.0.1"_s)), 0);
    EXPECT_EQ(nodes.ConfirmationAnswers(Ip(u"10.0.0.2"_s)), std::nullopt);
}

Node LoadedNode(const IpAddress &ip, const MacAddress &mac)
{
    Node node;
    node.ip = ip;
    node.mac = mac;
    return node;
}

IpAddress NodeIp(int i)
{
    return IpAddress::FromIpv4(0x0A000000u + quint32(i));
}

// The index against a pass over the list: for every IP the last node that
// holds it and how many do, and nothing for IPs the list lacks.
void ExpectIndexMatchesList(const NodeList &nodes)
{
    QHash<IpAddress, std::pair<int, int>> expected;
    for (int i = 0; i < nodes.Count(); ++i) {
        auto &[last, count] = expected[nodes.At(i).ip];
        last = i;
        ++count;
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        ASSERT_EQ(nodes.Find(it.key()), it->first) << it.key().ToText().toStdString();
        ASSERT_EQ(nodes.CountOf(it.key()), it->second) << it.key().ToText().toStdString();
    }
    for (const IpAddress &absent : {Ip(u"10.9.9.9"_s), IpAddress()}) {
        if (!expected.contains(absent)) {
            EXPECT_EQ(nodes.Find(absent), std::nullopt);
            EXPECT_EQ(nodes.CountOf(absent), 0);
        }
    }
}

// A /16's worth of nodes: the index and the list agree after every kind of
// change, and of two nodes with one IP the later one is found.
TEST(NodeList, IndexAgreesWithTheListAtSixtyFiveThousandNodes)
{
    constexpr int Count = 65536;
    NodeList nodes;
    nodes.BeginBatch();
    for (int i = 0; i < Count; ++i)
        nodes.Add(NodeIp(i), Mac(u"02:00:00:00:00:01"_s), Defaults);
    nodes.EndBatch();
    ASSERT_EQ(nodes.Count(), Count);
    ExpectIndexMatchesList(nodes);

    const int later = nodes.Add(NodeIp(7), Mac(u"02:00:00:00:00:02"_s), Defaults);
    EXPECT_EQ(nodes.Find(NodeIp(7)), later);
    EXPECT_EQ(nodes.CountOf(NodeIp(7)), 2);
    ExpectIndexMatchesList(nodes);

    // A loaded list, backwards and with one IP twice.
    QList<Node> loaded;
    for (int i = Count - 1; i >= 0; --i)
        loaded.append(LoadedNode(NodeIp(i), Mac(u"02:00:00:00:00:03"_s)));
    loaded.append(LoadedNode(NodeIp(Count - 1), Mac(u"02:00:00:00:00:04"_s)));
    nodes.Replace(std::move(loaded));
    ASSERT_EQ(nodes.Count(), Count + 1);
    EXPECT_EQ(nodes.Find(NodeIp(Count - 1)), Count);
    EXPECT_EQ(nodes.Find(NodeIp(0)), Count - 1);
    ExpectIndexMatchesList(nodes);

    nodes.Clear();
    EXPECT_EQ(nodes.Find(NodeIp(0)), std::nullopt);
    EXPECT_EQ(nodes.CountOf(NodeIp(Count - 1)), 0);
    EXPECT_EQ(nodes.Add(NodeIp(0), Mac(u"02:00:00:00:00:05"_s), Defaults), 0);
    ExpectIndexMatchesList(nodes);
}

// The cyclic life of a mark: answered in cycle 1, again in 2, not in 3.
TEST(NodeList, CyclicMarkLifeCycle)
{
    NodeList nodes;
    const int index = nodes.Add(Ip(u"10.0.0.5"_s), MacAddress(), Defaults);
    nodes.SetMark(index, 3, Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2));
    nodes.SettleMarks();
    EXPECT_EQ(Cell(nodes, index, 3), u"X"_s);

    nodes.CarryOverMarks();
    EXPECT_EQ(Cell(nodes, index, 3), u"+"_s);
    EXPECT_EQ(Cell(nodes, index, 7), u"-"_s); // switched-off marks are kept
    nodes.SetMark(index, 3, Carried(Answer::Illegal));
    EXPECT_EQ(Cell(nodes, index, 3), u"+X"_s);
    nodes.SettleMarks();
    EXPECT_EQ(Cell(nodes, index, 3), u"X"_s);

    nodes.CarryOverMarks();
    EXPECT_EQ(Cell(nodes, index, 3), u"+"_s); // the lost response, until evaluation
    nodes.SettleMarks();
    EXPECT_EQ(Cell(nodes, index, 3), QString());
    EXPECT_EQ(Cell(nodes, index, 7), u"-"_s);
}

// Marks before and after one pass over the list, Br to SP2.
struct RewriteCase
{
    const char *name;
    void (*rewrite)(NodeList &);
    std::array<Mark, TestCount> before;
    std::array<const char16_t *, TestCount> after;
};

class MarkRewrite : public testing::TestWithParam<RewriteCase>
{
};

TEST_P(MarkRewrite, TouchesOnlyTheMarksItIsFor)
{
    NodeList nodes;
    const int index = nodes.Add(Ip(u"10.0.0.5"_s), MacAddress(), AllOn);
    for (int i = 0; i < TestCount; ++i)
        nodes.SetMark(index, FirstResultColumn + i, GetParam().before[size_t(i)]);
    nodes.SetComment(index, u"X"_s); // not a result column
    QSignalSpy marks(&nodes, &NodeList::marksChanged);
    GetParam().rewrite(nodes);
    EXPECT_EQ(marks.count(), 1);
    for (int i = 0; i < TestCount; ++i) {
        EXPECT_EQ(Cell(nodes, index, FirstResultColumn + i),
                  QString::fromUtf16(GetParam().after[size_t(i)]))
            << i;
    }
    EXPECT_EQ(Cell(nodes, index, NodeColumn::Comment), u"X"_s);
}

constexpr Mark O = Mark::Answered(Answer::Normal, FrameFormat::Ethernet2);
constexpr Mark Ieee_o = Mark::Answered(Answer::Normal, FrameFormat::Ieee8023);
constexpr Mark X = Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2);
constexpr Mark Ieee_x = Mark::Answered(Answer::Illegal, FrameFormat::Ieee8023);
constexpr Mark OffX = Mark{Answer::Illegal, false, false, true};

INSTANTIATE_TEST_SUITE_P(
    NodeList, MarkRewrite,
    testing::Values(RewriteCase{"CarryOver",
                                [](NodeList &n) { n.CarryOverMarks(); },
                                {X, Ieee_x, O, Ieee_o, Carried(Answer::Illegal), Mark::Off(),
                                 Mark{}, OffX, Carried(Answer::None), X},
                                {u"+", u"+", u"+", u"+", u"+X", u"-", u"", u"-X", u"+", u"+"}},
                    RewriteCase{"Settle",
                                [](NodeList &n) { n.SettleMarks(); },
                                {Carried(Answer::None), Carried(Answer::Illegal),
                                 Carried(Answer::Illegal, true), Carried(Answer::Normal),
                                 Carried(Answer::Normal, true), Mark::Off(), X, Mark{}, OffX, O},
                                {u"", u"X", u"x", u"O", u"o", u"-", u"X", u"", u"-X", u"O"}},
                    // A "+" takes back the answer its test gives (Br and M1 normal, the
                    // others illegal), in the scan's format; answered marks stay.
                    RewriteCase{
                        "RestoreUnanswered",
                        [](NodeList &n) { n.RestoreUnansweredMarks(FrameFormat::Ieee8023); },
                        {Carried(Answer::None), Carried(Answer::None), Carried(Answer::Illegal),
                         Mark::Off(), Mark{}, Carried(Answer::None), Carried(Answer::None), X,
                         Mark{}, Carried(Answer::None)},
                        {u"+o", u"+x", u"+X", u"-", u"", u"+x", u"+o", u"X", u"", u"+x"}}),
    [](const testing::TestParamInfo<RewriteCase> &info) { return info.param.name; });

// Every reply sets its node's comment and mark again; only a change is
// announced, so a sweep of known nodes does not repaint the grid.
TEST(NodeList, OnlyChangesAreAnnounced)
{
    NodeList nodes;
    const int index = nodes.Add(Ip(u"10.0.0.5"_s), MacAddress(), Defaults);
    nodes.SetComment(index, u"note"_s);
    nodes.SetMark(index, 3, X);
    QSignalSpy changed(&nodes, &NodeList::nodesChanged);
    nodes.SetComment(index, u"note"_s);
    nodes.SetMark(index, 3, X);
    nodes.SetMark(index, 7, Mark::Off());
    nodes.ClearConfirmations();
    EXPECT_TRUE(changed.isEmpty());
    nodes.SetMark(index, 3, Ieee_x);
    EXPECT_EQ(changed.count(), 1);
}

TEST(NodeList, ClearResultsKeepsNodes)
{
    NodeList nodes;
    const int index = nodes.Add(Ip(u"10.0.0.5"_s), MacAddress(), Defaults);
    nodes.SetMark(index, 3, X);
    nodes.SetComment(index, u"note"_s);
    nodes.SetVendor(index, u"Cisco"_s);
    nodes.BeginConfirmation(Ip(u"10.0.0.5"_s), MacAddress());
    nodes.ClearResults();
    EXPECT_EQ(Cell(nodes, index, 3), QString());
    EXPECT_EQ(Cell(nodes, index, 7), QString()); // "-" gone until the next Start
    EXPECT_EQ(Cell(nodes, index, NodeColumn::Ip), u"10.0.0.5"_s);
    EXPECT_EQ(Cell(nodes, index, NodeColumn::Comment), u"note"_s);
    EXPECT_EQ(Cell(nodes, index, NodeColumn::Vendor), u"Cisco"_s);
    EXPECT_EQ(nodes.ConfirmationAnswers(Ip(u"10.0.0.5"_s)), std::nullopt);

    nodes.Clear();
    EXPECT_EQ(nodes.Count(), 0);
    EXPECT_EQ(nodes.Find(Ip(u"10.0.0.5"_s)), std::nullopt);
}

// Confirmation answers count only for an IP being confirmed, each probe
// once, and a new sweep forgets them.
TEST(NodeList, ConfirmationAnswersCountEachProbeOnceAndAreCleared)
{
    NodeList nodes;
    const IpAddress ip = Ip(u"10.0.0.5"_s);
    const MacAddress mac = *MacAddress::FromText(u"00:0C:29:00:00:05"_s);
    nodes.Add(ip, mac, AllOn);
    nodes.CountConfirmationAnswer(ip, 0, mac);
    EXPECT_EQ(nodes.ConfirmationAnswers(ip), std::nullopt);
    EXPECT_EQ(nodes.ReportedVerdict(ip), ConfirmationVerdict::None);
    nodes.BeginConfirmation(ip, mac);
    // Copies of one answer, and answers to probes never sent, add nothing.
    for (int copy = 0; copy < ConfirmationProbeCount; ++copy)
        nodes.CountConfirmationAnswer(ip, 3, mac);
    for (int probe : {-1, ConfirmationBatchProbes, ConfirmationBatchProbes + 5})
        nodes.CountConfirmationAnswer(ip, probe, mac);
    EXPECT_EQ(nodes.ConfirmationAnswers(ip), 1);
    for (int probe = 0; probe < ConfirmationBatchProbes; ++probe)
        nodes.CountConfirmationAnswer(ip, probe, mac);
    EXPECT_EQ(nodes.ConfirmationAnswers(ip), ConfirmationProbeCount);
    // Counted is not weighed: the verdict comes with the cycle's evaluation.
    EXPECT_EQ(nodes.ReportedVerdict(ip), ConfirmationVerdict::None);
    EXPECT_EQ(nodes.WeighConfirmation(ip), ConfirmationVerdict::Confirmed);
    nodes.ClearConfirmations();
    EXPECT_EQ(nodes.ReportedVerdict(ip), ConfirmationVerdict::None);
}

// A reported verdict stands over the sweeps, whose answers start afresh,
// until it is taken back; the grid repaints the node when it changes.
TEST(NodeList, ReportedVerdictStandsOverSweeps)
{
    NodeList nodes;
    const IpAddress ip = Ip(u"10.0.0.5"_s);
    nodes.Add(ip, MacAddress(), AllOn);
    QSignalSpy changed(&nodes, &NodeList::nodesChanged);
    nodes.SetReportedVerdict(ip, ConfirmationVerdict::Confirmed);
    nodes.SetReportedVerdict(ip, ConfirmationVerdict::Confirmed);
    EXPECT_EQ(changed.count(), 1);
    nodes.ClearConfirmations();
    nodes.BeginConfirmation(ip, MacAddress());
    EXPECT_EQ(nodes.ConfirmationAnswers(ip), 0);
    EXPECT_EQ(nodes.ReportedVerdict(ip), ConfirmationVerdict::Confirmed);
    nodes.SetReportedVerdict(ip, ConfirmationVerdict::None);
    EXPECT_EQ(nodes.ReportedVerdict(ip), ConfirmationVerdict::None); // pending until weighed
    nodes.SetReportedVerdict(ip, ConfirmationVerdict::FilterMatch);
    nodes.ClearResults();
    EXPECT_EQ(nodes.ReportedVerdict(ip), ConfirmationVerdict::None);
}

// Verdicts read from a report stand as reported ones, with their answer
// count, for the IPs the new nodes hold; a new scan forgets them as any.
TEST(NodeList, ReplaceRestoresSavedVerdicts)
{
    NodeList nodes;
    const IpAddress sniffer = Ip(u"10.0.0.5"_s);
    const IpAddress filtered = Ip(u"10.0.0.6"_s);
    const IpAddress absent = Ip(u"10.0.0.7"_s);
    nodes.Add(absent, MacAddress(), AllOn);
    nodes.SetReportedVerdict(absent, ConfirmationVerdict::Confirmed);
    Node first;
    first.ip = sniffer;
    Node second;
    second.ip = filtered;
    nodes.Replace({first, second}, {{sniffer, {ConfirmationVerdict::Confirmed, 24}},
                                    {filtered, {ConfirmationVerdict::FilterMatch, std::nullopt}},
                                    {absent, {ConfirmationVerdict::Confirmed, 3}}});
    EXPECT_EQ(nodes.ReportedVerdict(sniffer), ConfirmationVerdict::Confirmed);
    EXPECT_EQ(nodes.ConfirmationAnswers(sniffer), 24);
    EXPECT_EQ(nodes.ReportedVerdict(filtered), ConfirmationVerdict::FilterMatch);
    EXPECT_EQ(nodes.ConfirmationAnswers(filtered), std::nullopt);
    EXPECT_EQ(nodes.ReportedVerdict(absent), ConfirmationVerdict::None);
    EXPECT_EQ(nodes.ConfirmationAnswers(absent), std::nullopt);
    nodes.ClearResults();
    EXPECT_EQ(nodes.ReportedVerdict(sniffer), ConfirmationVerdict::None);
    EXPECT_EQ(nodes.ConfirmationAnswers(sniffer), std::nullopt);
}

// The verdict belongs to the card that answered: answers from another MAC
// are not counted, and the node's MAC changing voids the batch.
TEST(NodeList, ConfirmationCountsOnlyTheKnownMacAndAMacChangeVoidsIt)
{
    NodeList nodes;
    const IpAddress ip = Ip(u"10.0.0.5"_s);
    const MacAddress sniffer = *MacAddress::FromText(u"00:0C:29:00:00:05"_s);
    const MacAddress decoy = *MacAddress::FromText(u"00:0C:29:00:00:99"_s);
    const int index = nodes.Add(ip, sniffer, AllOn);
    nodes.BeginConfirmation(ip, sniffer);
    for (int probe = 0; probe < ConfirmationProbeCount; ++probe)
        nodes.CountConfirmationAnswer(ip, probe, decoy);
    EXPECT_EQ(nodes.ConfirmationAnswers(ip), 0);
    // Every probe of the batch, controls included; only group probes count
    // as answers.
    for (int probe = 0; probe < ConfirmationBatchProbes; ++probe)
        nodes.CountConfirmationAnswer(ip, probe, sniffer);
    EXPECT_EQ(nodes.ConfirmationAnswers(ip), ConfirmationProbeCount);

    nodes.SetMac(index, sniffer, QString()); // the same MAC again changes nothing
    EXPECT_EQ(nodes.ConfirmationAnswers(ip), ConfirmationProbeCount);
    nodes.SetMac(index, decoy, QString());
    EXPECT_EQ(nodes.ConfirmationAnswers(ip), 0);
    EXPECT_EQ(nodes.WeighConfirmation(ip), std::nullopt); // voided
    nodes.CountConfirmationAnswer(ip, ConfirmationProbeCount - 1, decoy);
    EXPECT_EQ(nodes.ConfirmationAnswers(ip), 0);
    // The next batch counts afresh for the MAC the node holds then.
    nodes.BeginConfirmation(ip, decoy);
    nodes.CountConfirmationAnswer(ip, 0, decoy);
    EXPECT_EQ(nodes.ConfirmationAnswers(ip), 1);
}

// Batches weigh into evidence that stands over cycles: each batch once, a
// batch with silent controls not at all, and a verdict set back to none
// forgets the evidence.
TEST(NodeList, ConfirmationBatchesAccumulateEvidence)
{
    NodeList nodes;
    const IpAddress ip = Ip(u"10.0.0.5"_s);
    const MacAddress mac = *MacAddress::FromText(u"00:0C:29:00:00:05"_s);
    nodes.Add(ip, mac, AllOn);
    const auto batch = [&](int groups, int controls) {
        nodes.BeginConfirmation(ip, mac);
        for (int probe = 0; probe < groups; ++probe)
            nodes.CountConfirmationAnswer(ip, probe, mac);
        for (int probe = 0; probe < controls; ++probe)
            nodes.CountConfirmationAnswer(ip, ConfirmationProbeCount + probe, mac);
        return nodes.WeighConfirmation(ip);
    };
    EXPECT_EQ(batch(ConfirmationProbeCount, 0), std::nullopt); // controls silent
    // 120 of 192 with 40 of 64 controls: even, but lossy; two batches confirm.
    EXPECT_EQ(batch(120, 40), ConfirmationVerdict::None);
    EXPECT_EQ(nodes.WeighConfirmation(ip), std::nullopt); // weighed already
    EXPECT_EQ(batch(120, 40), ConfirmationVerdict::Confirmed);
    nodes.SetReportedVerdict(ip, ConfirmationVerdict::Confirmed);
    nodes.SetReportedVerdict(ip, ConfirmationVerdict::None);
    EXPECT_EQ(batch(120, 40), ConfirmationVerdict::None); // afresh
    EXPECT_EQ(batch(40, 40), ConfirmationVerdict::FilterMatch);
}

// Result marks from Br to SP2, and whether the node counts as a suspect.
struct SuspectCase
{
    const char *name;
    std::array<Mark, TestCount> marks;
    bool suspect;
};

class SuspectRule : public testing::TestWithParam<SuspectCase>
{
};

TEST_P(SuspectRule, NeedsBrAnsweredAndAnIllegalMark)
{
    Node node;
    node.ip = Ip(u"10.0.0.5"_s);
    node.comment = u"X marks the spot"_s; // not a result column
    node.marks = GetParam().marks;
    EXPECT_EQ(node.IsSuspect(), GetParam().suspect);
}

constexpr Mark Blank{};

INSTANTIATE_TEST_SUITE_P(
    NodeList, SuspectRule,
    testing::Values(
        SuspectCase{
            "CorrectOnly", {O, Blank, Blank, Blank, Blank, O, Blank, Blank, Blank, Blank}, false},
        SuspectCase{"Ethernet", {O, X, Blank, Blank, Blank, O, Blank, Blank, Blank, Blank}, true},
        SuspectCase{
            "Ieee", {Ieee_o, Blank, Blank, Blank, Blank, Blank, Blank, Blank, Blank, Ieee_x}, true},
        SuspectCase{
            "CarriedOver",
            {O, Carried(Answer::Illegal), Blank, Blank, Blank, Blank, Blank, Blank, Blank, Blank},
            true},
        SuspectCase{
            "NoBrAnswer", {Blank, X, X, Blank, Blank, Blank, Blank, Blank, Blank, Blank}, false},
        SuspectCase{"BrScanOff",
                    {Mark::Off(), X, Blank, Blank, Blank, Blank, Blank, Blank, Blank, Blank},
                    false},
        SuspectCase{
            "BrLastTimeOnly",
            {Carried(Answer::None), X, Blank, Blank, Blank, Blank, Blank, Blank, Blank, Blank},
            false}),
    [](const testing::TestParamInfo<SuspectCase> &info) { return info.param.name; });

} // namespace
