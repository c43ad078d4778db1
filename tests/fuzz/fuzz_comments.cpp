#include "report/commenttable.h"

#include <cstdint>
#include <cstdlib>

using namespace keelwatch;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    CommentTable table;
    table.ReadCommentText(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    for (const CommentEntry &entry : table.Entries())
        table.LookupComment(entry.key);
    // What a save writes is saved again byte for byte after the next start:
    // legacy lines are not converted, nothing is lost or added on the way.
    const QByteArray saved = table.CommentText();
    CommentTable reread;
    reread.ReadCommentText(saved);
    if (reread.CommentText() != saved || reread.Entries().size() != table.Entries().size())
        std::abort();
    return 0;
}
