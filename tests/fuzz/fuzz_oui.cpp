#include "report/vendortable.h"

#include <cstdint>

using namespace keelwatch;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    VendorTable table;
    table.AddOuiText(QByteArrayView(data, qsizetype(size)));
    for (qsizetype i = VendorTable().Count(); i < table.Count(); ++i)
        table.LookupVendor(table.Code(i));
    return 0;
}
