#include "report/hostname.h"

#include <gtest/gtest.h>

using namespace keelwatch;

namespace {

struct HostCase
{
    const char *reported;
    const char *sent;
};

void PrintTo(const HostCase &c, std::ostream *os)
{
    *os << c.reported;
}

class HostNameRule : public ::testing::TestWithParam<HostCase>
{
};

TEST_P(HostNameRule, BareNameOfAtMostFifteenBytes)
{
    EXPECT_EQ(ShortHostName(GetParam().reported), QByteArray(GetParam().sent));
}

INSTANTIATE_TEST_SUITE_P(Names, HostNameRule,
                         ::testing::Values(HostCase{"SCANPC", "SCANPC"},
                                           HostCase{"scanpc.example.org", "scanpc"},
                                           HostCase{"abcdefghijklmnopqrst", "abcdefghijklmno"},
                                           HostCase{"abcdefghijklmno", "abcdefghijklmno"},
                                           HostCase{"", "unknown"}, HostCase{".local", "unknown"}));

TEST(HostName, LocalNameFitsTheDatagram)
{
    const QByteArray name = LocalHostName();
    EXPECT_FALSE(name.isEmpty());
    EXPECT_LE(name.size(), HostNameLimit);
    EXPECT_FALSE(name.contains(' '));
    EXPECT_FALSE(name.contains('.'));
}

} // namespace
