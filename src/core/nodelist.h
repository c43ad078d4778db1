#pragma once

#include "core/addressindex.h"
#include "core/node.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>

#include <bitset>
#include <optional>
#include <random>
#include <vector>

namespace keelwatch {

// A verdict as a saved report holds it: the verdict and, where the report
// tells it, how many confirmation probes were answered.
struct SavedVerdict
{
    ConfirmationVerdict verdict = ConfirmationVerdict::None;
    std::optional<int> answers;
};
using SavedVerdicts = QHash<IpAddress, SavedVerdict>;

// The scan state: one node per host that answered, in the order they were
// added. Several nodes may hold one IP (a node list file can), and an IP
// finds the last of them.
//
// Main thread only, apart from CountOf, which the probe sender's thread asks
// while the main thread adds nodes: the index behind it has a lock of its
// own.
class NodeList : public QObject
{
    Q_OBJECT

  public:
    using Tests = TestFlags;

    explicit NodeList(QObject *parent = nullptr);

    int Count() const { return int(nodes.size()); }
    const Node &At(int index) const { return nodes[index]; }
    const QList<Node> &All() const { return nodes; }

    // The index of the last node with this IP.
    std::optional<int> Find(const IpAddress &ip) const;
    // How many nodes hold this IP. Any thread.
    int CountOf(const IpAddress &ip) const;

    // Appends a node with its switched-off tests marked "-"; returns its index.
    int Add(const IpAddress &ip, const MacAddress &mac, const Tests &tests);
    void SetMac(int index, const MacAddress &mac, const QString &vendor);
    void SetVendor(int index, const QString &vendor);
    void SetComment(int index, const QString &comment);
    // The comment of every node of the IP.
    void SetCommentOf(const IpAddress &ip, const QString &comment);
    void SetMark(int index, int column, Mark mark);

    // "-" in every switched-off test of every node.
    void MarkScanOffAll(const Tests &tests);
    // Empties every mark and forgets every confirmation. Nodes stay.
    void ClearResults();
    // Replaces every node, and every verdict by the saved ones of IPs the
    // new nodes hold.
    void Replace(QList<Node> replacement, const SavedVerdicts &verdicts = {});
    void Clear() { Replace({}); }

    // Nodes added between BeginBatch and EndBatch are announced as one
    // addition when the batch ends, however many replies added them, and the
    // nodes changed meanwhile as one range.
    void BeginBatch();
    void EndBatch();

    // Start of a cyclic scanning step: every answer becomes "+", waiting to
    // be heard again.
    void CarryOverMarks();
    // After the evaluation: a waiting "+" is forgotten, "+X" becomes "X".
    void SettleMarks();
    // Before SettleMarks, when a step's silences are not judged: a "+"
    // without an answer takes back the answer it carried over, in format.
    void RestoreUnansweredMarks(FrameFormat format);
    // The same for one mark of one node.
    void RestoreUnansweredMark(int index, int column, FrameFormat format);

    // A reply of the node at index came in at when (ms since the epoch): it
    // is alive in this cycle, and seen then.
    void NoteHeard(int index, qint64 when);
    // A new cycle: no node has been heard in it yet.
    void ForgetHeard();

    // Confirmation batches, by IP: Begin starts a count afresh for the batch
    // just queued to the node whose MAC is mac. Each probe counts once, and
    // only when answered from that MAC; answers to an IP that is not being
    // confirmed are not counted. A new MAC for the IP (SetMac) voids the
    // count until the next Begin: the verdict belongs to the card that
    // answered the probes. groups are the batch's group addresses, by probe;
    // without them every group probe weighs as a fresh address.
    void BeginConfirmation(const IpAddress &ip, const MacAddress &mac,
                           std::vector<MacBytes> groups = {});
    // The group addresses of the IP's next batch: what its last weighed
    // batch left unanswered, then fresh ones of the family.
    std::vector<MacBytes> NextConfirmationGroups(const IpAddress &ip, ConfirmationFamily family,
                                                 const Settings &settings,
                                                 std::mt19937_64 &random) const;
    // A new scanning sweep: the last sweep's verdicts no longer hold.
    void ClearConfirmations();
    void CountConfirmationAnswer(const IpAddress &ip, int probe, const MacAddress &from);
    // The group probes of the current batch answered so far.
    std::optional<int> ConfirmationAnswers(const IpAddress &ip) const;
    // Adds the current batch, once, to the evidence the IP's earlier batches
    // left, and returns the verdict the evidence now tells (None while it
    // lies between the bounds); nothing when there is no batch, it was
    // voided or weighed already, or its controls all went unanswered.
    std::optional<ConfirmationVerdict> WeighConfirmation(const IpAddress &ip);

    // The verdict last reported for an IP, which stands over cycles until
    // the node falls back or is lost, and which the grid and reports show;
    // None when none stands (a node whose evidence still lies between the
    // bounds), and setting None forgets the IP's evidence.
    ConfirmationVerdict ReportedVerdict(const IpAddress &ip) const;
    void SetReportedVerdict(const IpAddress &ip, ConfirmationVerdict verdict);

  Q_SIGNALS:
    // Nodes first to last (indices) were appended.
    void nodesAdded(int first, int last);
    // Some field of nodes first to last changed.
    void nodesChanged(int first, int last);
    // Every node's marks changed.
    void marksChanged();
    // The whole list is about to be replaced, and has been.
    void aboutToReplace();
    void replaced();

  private:
    void IndexNode(int index);
    void RebuildIndex();
    void ChangedIp(const IpAddress &ip);
    void Changed(int index);
    template <typename Rewrite> void RewriteMarks(Rewrite rewrite);
    void RestoreVerdicts(const SavedVerdicts &verdicts);

    QList<Node> nodes;
    mutable QMutex indexLock;
    AddressIndex byIp;
    QHash<IpAddress, ConfirmationVerdict> reportedVerdicts;
    using ProbeSet = std::bitset<ConfirmationBatchProbes>;
    static ProbeSet GroupProbes();
    struct Confirmation
    {
        MacAddress mac;
        std::vector<MacBytes> groups;
        ProbeSet answered;
        bool voided = false;
        bool weighed = false;
    };
    QHash<IpAddress, Confirmation> confirmations;
    QHash<IpAddress, ConfirmationEvidence> evidence;
    // The count announced so far while a batch runs, else -1.
    int announced = -1;
    // The nodes changed while a batch runs; first > last for none.
    int changedFirst = 0;
    int changedLast = -1;
};

} // namespace keelwatch
