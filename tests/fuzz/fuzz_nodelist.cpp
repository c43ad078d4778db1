#include "config/addresstext.h"
#include "report/nodelistfile.h"

#include <cstdint>
#include <cstdlib>

using namespace keelwatch;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView content(data, qsizetype(size));
    for (const NodeTable::Row &row : DecodeNodeList(content)) {
        // Only rows with a valid IP and MAC are kept.
        if (ValidIpText(row[NodeTable::IpColumn]).isEmpty() ||
            NormalizeMac(row[NodeTable::MacColumn]).isEmpty())
            std::abort();
        // Once written and read back, a row stays the same through every
        // further save and load (empty cells come back as one blank first).
        const NodeTable::Row saved = DecodeNodeListLine(EncodeNodeListLine(row));
        if (DecodeNodeListLine(EncodeNodeListLine(saved)) != saved)
            std::abort();
    }
    return 0;
}
