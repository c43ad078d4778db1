#include "report/commenttable.h"

#include "config/fieldsplit.h"
#include "core/nodetable.h"
#include "report/textfile.h"

#include <QDir>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

const QString FileName = u"comment.txt"_s;

} // namespace

void CommentTable::LoadComments(const QString &dir, const MessageSink &sink)
{
    ReadCommentText(QByteArray());
    const auto content = ReadProgramFile(dir, FileName, u"No comment.txt not found"_s, sink);
    if (content && !ReadCommentText(*content))
        sink(u"More then 10000 comments"_s);
}

bool CommentTable::ReadCommentText(const QByteArray &content)
{
    QMutexLocker lock(&mutex);
    entries.clear();
    lastEntry.clear();
    unread.clear();
    const QList<QByteArrayView> lines = TextLines(content);
    qsizetype used = 0;
    for (; used < lines.size() && entries.size() < Capacity; ++used) {
        const QString line = QString::fromUtf8(lines[used]);
        const qsizetype comma = line.indexOf(u',');
        if (comma >= 0)
            Append({TrimControls(QStringView(line).left(comma)),
                    TrimControls(QStringView(line).sliced(comma + 1))});
    }
    if (entries.size() < Capacity)
        return true;
    // Lines past the last entry that fitted are not used, but they are the
    // user's comments all the same: keep them to write back at exit.
    if (used < lines.size())
        unread = content.sliced(lines[used].data() - content.constData());
    return false;
}

void CommentTable::Append(const CommentEntry &entry)
{
    lastEntry.insert(entry.key, entries.size());
    entries.append(entry);
}

QByteArray CommentTable::CommentText() const
{
    QMutexLocker lock(&mutex);
    QByteArray text;
    for (const CommentEntry &e : entries)
        text += e.key.toUtf8() + ',' + e.comment.toUtf8() + "\r\n";
    text += unread;
    return text;
}

QString CommentTable::SaveComments(const QString &dir) const
{
    // Written aside and renamed into place, so a failed write leaves the old
    // comments intact.
    QSaveFile file(QDir(dir).filePath(FileName));
    if (!file.open(QIODevice::WriteOnly))
        return u"Cannot write comment.txt.\n"_s + file.errorString();
    file.write(CommentText());
    if (!file.commit())
        return u"Cannot write comment.txt.\n"_s + file.errorString();
    return QString();
}

QString CommentTable::LookupComment(const QString &ip) const
{
    const QString key = ip.trimmed().toUpper();
    QMutexLocker lock(&mutex);
    const auto it = lastEntry.constFind(key);
    return it == lastEntry.constEnd() ? QString() : entries[*it].comment;
}

bool CommentTable::SetComment(const QString &key, const QString &comment)
{
    QMutexLocker lock(&mutex);
    if (!lastEntry.contains(key)) {
        if (entries.size() >= Capacity)
            return false;
        Append({key, comment});
        return true;
    }
    for (CommentEntry &e : entries) {
        if (e.key == key)
            e.comment = comment;
    }
    return true;
}

QList<CommentEntry> CommentTable::Entries() const
{
    QMutexLocker lock(&mutex);
    return entries;
}

QString CommentTableFullText()
{
    return u"The comment table is full (%1 comments).\nNo comment can be added for a new IP address."_s
        .arg(CommentTable::Capacity);
}

bool StoreComment(CommentTable &comments, NodeTable &nodes, const QString &ip,
                  const QString &comment, const MessageSink &sink)
{
    if (!comments.SetComment(ip, comment)) {
        sink(CommentTableFullText());
        return false;
    }
    for (int row = 1; row < nodes.RowCount() - 1; ++row) {
        if (nodes.Cell(row, NodeTable::IpColumn) == ip)
            nodes.SetCell(row, NodeTable::CommentColumn, comment);
    }
    return true;
}

} // namespace keelwatch
