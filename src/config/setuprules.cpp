#include "config/setuprules.h"

#include "config/integertext.h"

#include <algorithm>

namespace keelwatch {

int NumberFromText(const NumberRule &rule, QStringView text)
{
    const std::optional<qint64> v = ParseInteger(text.trimmed());
    if (!v)
        return rule.fallback;
    if (rule.clamp)
        return int(std::clamp<qint64>(*v, rule.low, rule.high));
    return *v >= rule.low && *v <= rule.high ? int(*v) : rule.fallback;
}

} // namespace keelwatch
