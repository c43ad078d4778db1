#include "report/commenttable.h"

#include "config/fieldsplit.h"
#include "core/nodelist.h"
#include "report/textfile.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

const QString FileName = u"comment.txt"_s;

QByteArrayView TrimmedBytes(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && static_cast<unsigned char>(bytes.front()) <= 32)
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && static_cast<unsigned char>(bytes.back()) <= 32)
        bytes.chop(1);
    return bytes;
}

// The key of a line, trimmed like the comment and also of byte order marks:
// files put together from several others carry them at line starts, where
// they would hide the IP from every lookup.
QString KeyText(QStringView text)
{
    const auto junk = [](QChar c) { return c.unicode() <= 32 || c == QChar::ByteOrderMark; };
    while (!text.isEmpty() && junk(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && junk(text.back()))
        text.chop(1);
    return text.toString();
}

// Every character that some editor or reader takes as the end of a line.
QString OneLine(QString text)
{
    for (QChar &c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == QChar(0x85) ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return text;
}

} // namespace

void CommentTable::LoadComments(const QString &dir, const MessageSink &sink,
                                const MessageSink &missingSink)
{
    ReadCommentText(QByteArray());
    const auto content = ReadProgramFile(
        dir, FileName,
        QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "No comment.txt not found")), sink,
        missingSink);
    if (content && !ReadCommentText(*content))
        sink(QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "More then 10000 comments")));
}

bool CommentTable::ReadCommentText(const QByteArray &content)
{
    QMutexLocker lock(&mutex);
    entries.clear();
    lastEntry.clear();
    lastByAddress.clear();
    unread.clear();
    const QList<DecodedLine> lines = DecodeTextLines(content);
    qsizetype used = 0;
    for (; used < lines.size() && entries.size() < Capacity; ++used) {
        const DecodedLine &line = lines[used];
        const qsizetype comma = line.text.indexOf(u',');
        if (comma < 0)
            continue;
        CommentEntry entry{KeyText(QStringView(line.text).left(comma)),
                           TrimControls(QStringView(line.text).sliced(comma + 1)), QByteArray()};
        // CP1252 keeps every byte below 0x80 as it is, so the comma and the
        // trimmed blanks sit at the same offsets in the bytes.
        if (line.legacy)
            entry.legacyLine = TrimmedBytes(line.bytes.first(comma)).toByteArray() + ',' +
                               TrimmedBytes(line.bytes.sliced(comma + 1)).toByteArray();
        Append(entry);
    }
    if (entries.size() < Capacity)
        return true;
    // Lines past the last entry that fitted are not used, but they are the
    // user's comments all the same: keep them to write back at exit.
    for (qsizetype i = used; i < lines.size(); ++i) {
        if (!lines[i].bytes.isNull()) {
            unread = content.sliced(lines[i].bytes.data() - content.constData());
            break;
        }
        unread += lines[i].text.toUtf8() + "\r\n";
    }
    return false;
}

void CommentTable::Append(const CommentEntry &entry)
{
    lastEntry.insert(entry.key, entries.size());
    if (const auto ip = IpAddress::FromText(entry.key); ip && ip->ToText() == entry.key)
        lastByAddress.insert(*ip, entries.size());
    entries.append(entry);
}

QByteArray CommentTable::CommentText() const
{
    QMutexLocker lock(&mutex);
    QByteArray text;
    for (const CommentEntry &e : entries) {
        // Legacy bytes that look like a byte order mark at the file's start
        // would have the file read in another encoding next time.
        const bool readAsMark = text.isEmpty() && (e.legacyLine.startsWith("\xEF\xBB\xBF") ||
                                                   e.legacyLine.startsWith("\xFE\xFF") ||
                                                   e.legacyLine.startsWith("\xFF\xFE"));
        if (e.legacyLine.isEmpty() || readAsMark)
            text += e.key.toUtf8() + ',' + e.comment.toUtf8() + "\r\n";
        else
            text += e.legacyLine + "\r\n";
    }
    text += unread;
    return text;
}

QString CommentTable::SaveComments(const QString &dir) const
{
    if (const QString reason = ReplaceFile(QDir(dir).filePath(FileName), CommentText());
        !reason.isEmpty())
        return QCoreApplication::translate("CommentTable", "Cannot write comment.txt.\n%1")
            .arg(reason);
    return QString();
}

QString CommentTable::LookupComment(const QString &ip) const
{
    const QString key = ip.trimmed().toUpper();
    QMutexLocker lock(&mutex);
    const auto it = lastEntry.constFind(key);
    return it == lastEntry.constEnd() ? QString() : entries[*it].comment;
}

QString CommentTable::LookupComment(const IpAddress &ip) const
{
    QMutexLocker lock(&mutex);
    const auto it = lastByAddress.constFind(ip);
    return it == lastByAddress.constEnd() ? QString() : entries[*it].comment;
}

bool CommentTable::SetComment(const QString &key, const QString &comment)
{
    QMutexLocker lock(&mutex);
    if (!lastEntry.contains(key)) {
        if (entries.size() >= Capacity)
            return false;
        Append({key, comment, QByteArray()});
        return true;
    }
    for (CommentEntry &e : entries) {
        if (e.key == key) {
            e.comment = comment;
            e.legacyLine.clear();
        }
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

bool StoreComment(CommentTable &comments, NodeList &nodes, const QString &ipText,
                  const QString &commentText, const MessageSink &sink)
{
    const QString ip = OneLine(ipText);
    const QString comment = OneLine(commentText);
    if (!comments.SetComment(ip, comment)) {
        sink(CommentTableFullText());
        return false;
    }
    if (const auto address = IpAddress::FromText(ip))
        nodes.SetCommentOf(*address, comment);
    return true;
}

} // namespace keelwatch
