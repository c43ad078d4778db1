#include "core/nodelist.h"

#include <QMutexLocker>

#include <algorithm>
#include <set>

namespace keelwatch {

namespace {

void MarkOff(Node &node, const NodeList::Tests &tests)
{
    for (int i = 0; i < TestCount; ++i) {
        if (!tests[size_t(i)])
            node.marks[size_t(i)] = Mark::Off();
    }
}

} // namespace

NodeList::NodeList(QObject *parent) : QObject(parent) {}

std::optional<int> NodeList::Find(const IpAddress &ip) const
{
    const AddressIndex::Entry *found = byIp.Find(ip);
    if (!found)
        return std::nullopt;
    return found->last;
}

int NodeList::CountOf(const IpAddress &ip) const
{
    QMutexLocker lock(&indexLock);
    const AddressIndex::Entry *found = byIp.Find(ip);
    return found ? found->count : 0;
}

int NodeList::Add(const IpAddress &ip, const MacAddress &mac, const Tests &tests)
{
    Node node;
    node.ip = ip;
    node.mac = mac;
    MarkOff(node, tests);
    nodes.append(std::move(node));
    const int index = Count() - 1;
    {
        QMutexLocker lock(&indexLock);
        IndexNode(index);
    }
    if (announced < 0)
        Q_EMIT nodesAdded(index, index);
    return index;
}

void NodeList::SetMac(int index, const MacAddress &mac, const QString &vendor)
{
    if (const auto it = confirmations.find(nodes[index].ip);
        it != confirmations.end() && it->mac != mac)
        it->voided = true;
    nodes[index].mac = mac;
    nodes[index].vendor = vendor;
    Changed(index);
}

void NodeList::SetVendor(int index, const QString &vendor)
{
    nodes[index].vendor = vendor;
    Changed(index);
}

void NodeList::SetComment(int index, const QString &comment)
{
    // Every reply passes its node's comment; most change nothing.
    if (nodes[index].comment == comment)
        return;
    nodes[index].comment = comment;
    Changed(index);
}

void NodeList::SetCommentOf(const IpAddress &ip, const QString &comment)
{
    for (int i = 0; i < Count(); ++i) {
        if (nodes[i].ip == ip)
            SetComment(i, comment);
    }
}

void NodeList::SetMark(int index, int column, Mark mark)
{
    Mark &current = nodes[index].MarkOf(column);
    if (current == mark)
        return;
    current = mark;
    Changed(index);
}

void NodeList::MarkScanOffAll(const Tests &tests)
{
    for (Node &node : nodes)
        MarkOff(node, tests);
    Q_EMIT marksChanged();
}

void NodeList::ClearResults()
{
    for (Node &node : nodes) {
        node.marks.fill(Mark());
        node.heard = false;
    }
    reportedVerdicts.clear();
    evidence.clear();
    // A forgotten verdict changes the whole row, not only its marks.
    ClearConfirmations();
    Q_EMIT marksChanged();
}

void NodeList::Replace(QList<Node> replacement, const SavedVerdicts &verdicts)
{
    Q_EMIT aboutToReplace();
    // The old nodes go with the list they are swapped into, so a big list
    // is neither copied nor held twice.
    nodes.swap(replacement);
    replacement.clear();
    {
        QMutexLocker lock(&indexLock);
        RebuildIndex();
    }
    confirmations.clear();
    reportedVerdicts.clear();
    evidence.clear();
    RestoreVerdicts(verdicts);
    if (announced >= 0)
        announced = Count();
    Q_EMIT replaced();
}

void NodeList::RestoreVerdicts(const SavedVerdicts &verdicts)
{
    for (auto it = verdicts.cbegin(); it != verdicts.cend(); ++it) {
        const auto found = Find(it.key());
        if (!found)
            continue;
        if (it->verdict != ConfirmationVerdict::None)
            reportedVerdicts.insert(it.key(), it->verdict);
        // The count stands for the probes answered; which ones no report tells.
        if (it->answers) {
            Confirmation confirmation{nodes[*found].mac, {}, false};
            for (int probe = 0; probe < std::min(*it->answers, ConfirmationProbeCount); ++probe)
                confirmation.answered.set(size_t(probe));
            confirmations.insert(it.key(), confirmation);
        }
    }
}

void NodeList::BeginBatch()
{
    if (announced >= 0)
        return;
    announced = Count();
    changedFirst = 0;
    changedLast = -1;
}

void NodeList::EndBatch()
{
    if (announced < 0)
        return;
    const int first = announced;
    announced = -1;
    if (Count() > first)
        Q_EMIT nodesAdded(first, Count() - 1);
    // Nodes added in the batch are new to the listeners, not changed.
    const int lastChanged = std::min(changedLast, first - 1);
    if (changedFirst <= lastChanged)
        Q_EMIT nodesChanged(changedFirst, lastChanged);
}

void NodeList::Changed(int index)
{
    if (announced < 0) {
        Q_EMIT nodesChanged(index, index);
        return;
    }
    if (changedFirst > changedLast) {
        changedFirst = changedLast = index;
        return;
    }
    changedFirst = std::min(changedFirst, index);
    changedLast = std::max(changedLast, index);
}

template <typename Rewrite> void NodeList::RewriteMarks(Rewrite rewrite)
{
    for (Node &node : nodes) {
        for (Mark &mark : node.marks)
            rewrite(mark);
    }
    Q_EMIT marksChanged();
}

void NodeList::CarryOverMarks()
{
    RewriteMarks([](Mark &mark) {
        if (mark.Answered() && !mark.carried && !mark.off)
            mark = Mark{Answer::None, false, true, false};
    });
}

void NodeList::SettleMarks()
{
    RewriteMarks([](Mark &mark) { mark.carried = false; });
}

void NodeList::RestoreUnansweredMarks(FrameFormat format)
{
    for (Node &node : nodes) {
        for (int column = FirstResultColumn; column <= LastResultColumn; ++column) {
            Mark &mark = node.MarkOf(column);
            if (mark.Waiting())
                mark = Mark{AnswerOfTest(column), format == FrameFormat::Ieee8023, true, false};
        }
    }
    Q_EMIT marksChanged();
}

void NodeList::RestoreUnansweredMark(int index, int column, FrameFormat format)
{
    if (!nodes[index].MarkOf(column).Waiting())
        return;
    SetMark(index, column,
            Mark{AnswerOfTest(column), format == FrameFormat::Ieee8023, true, false});
}

void NodeList::NoteHeard(int index, qint64 when)
{
    Node &node = nodes[index];
    node.heard = true;
    if (node.firstSeen == 0)
        node.firstSeen = when;
    node.lastSeen = when;
}

void NodeList::ForgetHeard()
{
    for (Node &node : nodes)
        node.heard = false;
}

NodeList::ProbeSet NodeList::GroupProbes()
{
    ProbeSet groups;
    for (int probe = 0; probe < ConfirmationProbeCount; ++probe)
        groups.set(size_t(probe));
    return groups;
}

void NodeList::BeginConfirmation(const IpAddress &ip, const MacAddress &mac,
                                 std::vector<MacBytes> groups)
{
    confirmations.insert(ip, Confirmation{mac, std::move(groups), {}, false, false});
    ChangedIp(ip);
}

std::vector<MacBytes> NodeList::NextConfirmationGroups(const IpAddress &ip,
                                                       ConfirmationFamily family,
                                                       const Settings &settings,
                                                       std::mt19937_64 &random) const
{
    const auto it = evidence.constFind(ip);
    return ComposeConfirmationGroups(it == evidence.constEnd() ? std::vector<MacBytes>()
                                                               : it->askAgain,
                                     settings, family, random);
}

void NodeList::ClearConfirmations()
{
    if (confirmations.isEmpty())
        return;
    confirmations.clear();
    if (Count() > 0)
        Q_EMIT nodesChanged(0, Count() - 1);
}

void NodeList::CountConfirmationAnswer(const IpAddress &ip, int probe, const MacAddress &from)
{
    const auto it = confirmations.find(ip);
    if (it == confirmations.end() || it->voided || it->mac != from || probe < 0 ||
        probe >= ConfirmationBatchProbes || it->answered.test(size_t(probe)))
        return;
    it->answered.set(size_t(probe));
    ChangedIp(ip);
}

std::optional<int> NodeList::ConfirmationAnswers(const IpAddress &ip) const
{
    const auto it = confirmations.constFind(ip);
    if (it == confirmations.constEnd())
        return std::nullopt;
    return it->voided ? 0 : int((it->answered & GroupProbes()).count());
}

std::optional<ConfirmationVerdict> NodeList::WeighConfirmation(const IpAddress &ip)
{
    const auto it = confirmations.find(ip);
    if (it == confirmations.end() || it->voided || it->weighed)
        return std::nullopt;
    it->weighed = true;
    const int controls = int(it->answered.count() - (it->answered & GroupProbes()).count());
    ConfirmationEvidence &weighed = evidence[ip];
    const std::set<MacBytes> askedAgain(weighed.askAgain.begin(), weighed.askAgain.end());
    auto outcomes = std::vector<GroupOutcome>(ConfirmationProbeCount);
    std::vector<MacBytes> silent;
    for (int probe = 0; probe < ConfirmationProbeCount; ++probe) {
        GroupOutcome &outcome = outcomes[size_t(probe)];
        outcome.answered = it->answered.test(size_t(probe));
        if (size_t(probe) >= it->groups.size())
            continue;
        const MacBytes &group = it->groups[size_t(probe)];
        outcome.askedAgain = askedAgain.contains(group);
        if (!outcome.answered && !outcome.askedAgain)
            silent.push_back(group);
    }
    if (!WeighConfirmationBatch(weighed, outcomes, controls))
        return std::nullopt;
    weighed.askAgain = std::move(silent);
    return weighed.verdict;
}

ConfirmationVerdict NodeList::ReportedVerdict(const IpAddress &ip) const
{
    return reportedVerdicts.value(ip, ConfirmationVerdict::None);
}

void NodeList::SetReportedVerdict(const IpAddress &ip, ConfirmationVerdict verdict)
{
    if (ReportedVerdict(ip) == verdict)
        return;
    if (verdict == ConfirmationVerdict::None) {
        reportedVerdicts.remove(ip);
        evidence.remove(ip);
    } else {
        reportedVerdicts.insert(ip, verdict);
    }
    ChangedIp(ip);
}

void NodeList::IndexNode(int index)
{
    AddressIndex::Entry &entry = byIp.Insert(nodes[index].ip);
    ++entry.count;
    entry.last = std::max(entry.last, index);
}

void NodeList::RebuildIndex()
{
    byIp.Clear();
    for (int i = 0; i < Count(); ++i)
        IndexNode(i);
}

void NodeList::ChangedIp(const IpAddress &ip)
{
    // Every node of the IP shows its verdict; the last one is found at once
    // and the others are rare.
    const AddressIndex::Entry *found = byIp.Find(ip);
    if (!found)
        return;
    if (found->count == 1) {
        Changed(found->last);
        return;
    }
    for (int i = 0; i <= found->last; ++i) {
        if (nodes[i].ip == ip)
            Changed(i);
    }
}

} // namespace keelwatch
