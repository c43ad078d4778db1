#include "report/vendortable.h"

#include <benchmark/benchmark.h>

#include <QStringList>

#include <cstdlib>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

// The full IEEE registry of ieee-data, as a user would put beside the program.
const VendorTable &FullTable()
{
    static const VendorTable table = [] {
        VendorTable t;
        const char *dir = std::getenv("KEELWATCH_OUI_DIR");
        t.LoadVendorTable(QString::fromLocal8Bit(dir ? dir : "/usr/share/ieee-data"),
                          [](const QString &m) { std::fprintf(stderr, "%s\n", qPrintable(m)); });
        return t;
    }();
    return table;
}

// Prefixes as the reply analyser passes them: every other code of the table,
// and as many that no entry has.
QStringList Prefixes()
{
    const VendorTable &t = FullTable();
    QStringList prefixes;
    for (qsizetype i = 0; i < t.Count(); i += 2) {
        const QString &c = t.Code(i);
        prefixes.append(c.left(2) + u':' + c.mid(2, 2) + u':' + c.mid(4) + u':');
        prefixes.append(u"ZZ:"_s + c.mid(2, 2) + u':' + c.mid(4) + u':');
    }
    return prefixes;
}

void BM_LookupVendor(benchmark::State &state)
{
    const VendorTable &t = FullTable();
    const QStringList prefixes = Prefixes();
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(t.LookupVendor(prefixes[i]));
        i = (i + 1) % prefixes.size();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["entries"] = double(t.Count());
}
BENCHMARK(BM_LookupVendor);

// The peer: a scan over every entry that keeps the last match.
void BM_LinearLastMatchScan(benchmark::State &state)
{
    const VendorTable &t = FullTable();
    const QStringList prefixes = Prefixes();
    qsizetype i = 0;
    for (auto _ : state) {
        QString code = prefixes[i].trimmed().toUpper();
        code.removeIf([](QChar c) { return c == u' ' || c == u':' || c == u'-'; });
        QString name = u"unknown"_s;
        for (qsizetype e = 0; e < t.Count(); ++e) {
            if (t.Code(e) == code)
                name = t.Name(e);
        }
        benchmark::DoNotOptimize(name);
        i = (i + 1) % prefixes.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LinearLastMatchScan);

} // namespace

BENCHMARK_MAIN();
