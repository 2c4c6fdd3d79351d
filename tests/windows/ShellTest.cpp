#include "Shell.h"

#include <gtest/gtest.h>

namespace {

// Only what opens nothing: a test must not start the user's browser.
TEST(Shell, AnAddressThatNamesNothingOpensNothingAndSaysSo)
{
    EXPECT_FALSE(dawdlex::platform::openUrl(""));
    EXPECT_FALSE(dawdlex::platform::openUrl("Z:\\dawdlex-no-such-folder\\no-such-file.dawdlex-none"));
}

} // namespace
