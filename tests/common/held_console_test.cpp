// Lines printed to a held console reach its target only when released, each
// stream in the order printed, and only once.
#include "common/held_console.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

using testsupport::CapturedConsole;

TEST(HeldConsole, LinesWaitForReleaseAndPassOnOnce) {
  CapturedConsole target;
  target.console().out("# INFO: before\n");
  {
    HeldConsole held(target.console());
    held.console().out("# INFO: Closing %s\n", "completeData.mat");
    held.console().err("held error %d\n", 1);
    held.console().out("# WARNING: second %d\n", 2);
    target.console().out("# INFO: meanwhile\n");
    EXPECT_EQ(target.out(), "# INFO: before\n# INFO: meanwhile\n");
    EXPECT_EQ(target.err(), "");

    held.release();
    EXPECT_EQ(target.out(),
              "# INFO: before\n# INFO: meanwhile\n# INFO: Closing completeData.mat\n# WARNING: second 2\n");
    EXPECT_EQ(target.err(), "held error 1\n");

    held.release();  // nothing new
    held.console().out("# INFO: after\n");
    held.release();
  }
  EXPECT_EQ(target.out(),
            "# INFO: before\n# INFO: meanwhile\n# INFO: Closing completeData.mat\n# WARNING: second 2\n"
            "# INFO: after\n");
  EXPECT_EQ(target.err(), "held error 1\n");
}

TEST(HeldConsole, LinesNeverReleasedAreDropped) {
  CapturedConsole target;
  {
    HeldConsole held(target.console());
    held.console().out("# INFO: Closing completeData.mat\n");
  }
  EXPECT_EQ(target.out(), "");
}

}  // namespace
