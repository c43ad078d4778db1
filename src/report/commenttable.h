#pragma once

#include "config/addresstext.h"
#include "config/netaddress.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

namespace keelwatch {

class NodeList;

struct CommentEntry
{
    QString key;
    QString comment;
    // The "key,comment" bytes of a line read in a legacy encoding, written
    // back as they were until the comment is edited; empty otherwise.
    QByteArray legacyLine = {};
    bool operator==(const CommentEntry &) const = default;
};

// Comments by IP text, kept in memory from start-up to exit and stored in
// comment.txt beside the program. Entries keep their order; several may share
// a key, and lookups take the last. The reply analyser looks up from its
// thread while the comment editor writes on the main thread, hence the lock.
class CommentTable
{
  public:
    static constexpr int Capacity = 10000;

    // Empties the table and reads comment.txt in dir. Problems go to the sink.
    void LoadComments(const QString &dir, const MessageSink &sink,
                      const MessageSink &missingSink = {});
    // Replaces the table by comment.txt content: "key,comment" per line, both trimmed; lines
    // without a comma are skipped. Lines are decoded by DecodeTextLines. Returns false when the
    // table filled up before the end; the unread lines are kept to be written back.
    bool ReadCommentText(const QByteArray &content);

    // Writes every entry, then the lines that did not fit, to comment.txt in
    // dir, replacing it only once everything is written. Returns the error
    // text, empty on success.
    QString SaveComments(const QString &dir) const;
    QByteArray CommentText() const;

    // The comment of the last entry whose key equals the trimmed, upper-cased
    // ip text; empty text when none does.
    QString LookupComment(const QString &ip) const;
    // The same for the address's own text, without building it: the reply
    // path asks this for every reply.
    QString LookupComment(const IpAddress &ip) const;

    // Sets the comment of every entry with this key, or appends an entry
    // when there is none. Returns false, changing nothing, when the key is
    // new and the table is full.
    bool SetComment(const QString &key, const QString &comment);

    QList<CommentEntry> Entries() const;

  private:
    void Append(const CommentEntry &entry);

    mutable QMutex mutex;
    QList<CommentEntry> entries;
    QHash<QString, qsizetype> lastEntry;
    // The entries of lastEntry whose key is an address's own text.
    QHash<IpAddress, qsizetype> lastByAddress;
    QByteArray unread;
};

// The message when a comment for a new IP does not fit.
QString CommentTableFullText();

// Stores a comment from the editor: into the comment table, then into the
// comment of every node with that IP. Line breaks in the IP and
// the comment become blanks, so a pasted text stays one line of comment.txt. A full table refuses a
// new IP, tells the sink and leaves the node rows alone.
bool StoreComment(CommentTable &comments, NodeList &nodes, const QString &ip,
                  const QString &comment, const MessageSink &sink);

} // namespace keelwatch
