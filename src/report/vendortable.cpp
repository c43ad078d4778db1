#include "report/vendortable.h"

#include "config/fieldsplit.h"
#include "report/builtinvendors.h"
#include "report/textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace keelwatch {

VendorTable::VendorTable()
{
    Clear();
}

void VendorTable::Clear()
{
    codes.clear();
    names.clear();
    lastEntry.clear();
    for (const BuiltinVendor &row : BuiltinVendors)
        Add(QString::fromUtf16(row.code), QString::fromUtf16(row.name));
}

void VendorTable::Add(const QString &code, const QString &name)
{
    lastEntry.insert(code, codes.size());
    codes.append(code);
    names.append(name);
}

void VendorTable::LoadVendorTable(const QString &dir, const MessageSink &sink,
                                  const QString &sharedDir, const MessageSink &missingSink)
{
    Clear();
    const QString name = u"oui.txt"_s;
    // A file beside the program wins, so users can keep their own edited
    // list; installed programs have none there and take the system's.
    const bool useShared =
        !QFile::exists(QDir(dir).filePath(name)) && QFile::exists(QDir(sharedDir).filePath(name));
    if (const auto content = ReadProgramFile(
            useShared ? sharedDir : dir, name,
            QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "No oui.txt found.")), sink,
            missingSink))
        AddOuiText(*content);
}

void VendorTable::AddOuiText(QByteArrayView content)
{
    static const QRegularExpression base16(u"\\(base 16\\)"_s,
                                           QRegularExpression::CaseInsensitiveOption);
    for (const QByteArrayView bytes : TextLines(content)) {
        if (!bytes.contains("(base 16)"))
            continue;
        QString line = QString::fromUtf8(bytes);
        line.replace(base16, u"\n"_s);
        const QStringList pieces = TrimControls(line).split(u'\n');
        Add(TrimControls(pieces[0]), pieces.size() > 1 ? TrimControls(pieces[1]) : QString());
    }
}

QString VendorTable::LookupVendor(QStringView prefix) const
{
    QString code = prefix.trimmed().toString().toUpper();
    code.removeIf([](QChar c) { return c == u' ' || c == u':' || c == u'-'; });
    const auto it = lastEntry.constFind(code);
    return it == lastEntry.constEnd() ? u"unknown"_s : names[*it];
}

} // namespace keelwatch
