#pragma once

#include <array>

namespace keelwatch {

struct BuiltinVendor
{
    const char16_t *code;
    const char16_t *name;
};

constexpr int BuiltinVendorCount = 899;

// The vendor rows every table starts with, in their fixed order.
extern const std::array<BuiltinVendor, BuiltinVendorCount> BuiltinVendors;

} // namespace keelwatch
