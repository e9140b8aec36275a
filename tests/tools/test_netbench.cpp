#include "support/NetBench.h"

#include <gtest/gtest.h>

#include <string>

// The bench leaves no namespace behind; that its hosts reach each other is
// proven by every test that runs on it.
TEST(NetBench, IsRemovedAfterwards)
{
    VYN_REQUIRE_ROOT();
    std::string list;
    {
        NetBench bench("nb");
        list = "ip netns list | grep -q '^" + bench.PcNamespace() + "'";
        EXPECT_EQ(std::system(list.c_str()), 0);
    }
    EXPECT_NE(std::system(list.c_str()), 0);
}
