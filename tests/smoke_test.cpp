#include <gtest/gtest.h>

#include "driver/kemVURODerodu.h"

TEST(PagePath, JoinsWithOneSlash) {
    EXPECT_EQ(pagePath("in", "10"), "in/10");
    EXPECT_EQ(pagePath("in/", "10"), "in/10");
    EXPECT_EQ(pagePath("", "3"), "3");
}
