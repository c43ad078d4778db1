#pragma once

#include "config/addresstext.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

namespace keelwatch {

// Maker names by the first three bytes of a MAC address: the built-in rows,
// then the "(base 16)" lines of oui.txt in file order. Among entries with the
// same code the later one wins. Filled on the main thread before any scan;
// lookups from worker threads only read.
class VendorTable
{
  public:
    // A table of the built-in rows alone.
    VendorTable();

    // Debian's copy of the registry (package ieee-data).
    static inline const QString SharedOuiDir = QStringLiteral("/usr/share/ieee-data");

    // Starts again from the built-in rows and adds every "(base 16)" line of
    // oui.txt in dir or, when dir has none, of the one in sharedDir. An
    // unreadable file, or none in either place, is told to the sink; none
    // in either place to missingSink instead when one is given.
    void LoadVendorTable(const QString &dir, const MessageSink &sink,
                         const QString &sharedDir = SharedOuiDir,
                         const MessageSink &missingSink = {});

    // Adds the entries of oui.txt content, one per "(base 16)" line.
    void AddOuiText(QByteArrayView content);

    // The name of the last entry whose code equals the prefix once it is
    // trimmed, upper-cased and stripped of blanks, ":" and "-"; "unknown"
    // when none does.
    QString LookupVendor(QStringView prefix) const;

    qsizetype Count() const { return codes.size(); }
    const QString &Code(qsizetype i) const { return codes[i]; }
    const QString &Name(qsizetype i) const { return names[i]; }

  private:
    void Clear();
    void Add(const QString &code, const QString &name);

    QList<QString> codes;
    QList<QString> names;
    // Code to the index of its last entry: the same answer as a scan from the
    // end, without walking tens of thousands of entries per reply.
    QHash<QString, qsizetype> lastEntry;
};

} // namespace keelwatch
