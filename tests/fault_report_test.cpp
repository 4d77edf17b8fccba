#include "host/fault_report.h"

#include <gtest/gtest.h>

#include <new>

namespace quarn::host {

namespace {

// A plug-in ends on a fault as the host expects: the report in its fixed
// form, exit status 1.
TEST(FaultReportDeathTest, PluginsReportFaultsInTheFixedFormAndExitWithOne) {
  EXPECT_EXIT(run_or_end([] { FatalError("something broke"); }), ::testing::ExitedWithCode(1),
              "^\n\n\a -> Error: something broke\n Execution terminated!\n$");
  EXPECT_EXIT(run_or_end([] { CheckAllocation(nullptr, nullptr); }), ::testing::ExitedWithCode(1),
              "^\n\n\a -> Error: insufficient memory\\.\n Execution terminated!\n$");
  EXPECT_EXIT(run_or_end([] { CheckAllocation(nullptr, "LSP"); }), ::testing::ExitedWithCode(1),
              "^\n\n\a -> Error: insufficient memory\\.\nOrigin = LSP\n\n Execution "
              "terminated!\n$");
  EXPECT_EXIT(run_or_end([] { throw std::bad_alloc(); }), ::testing::ExitedWithCode(1),
              "^\n\n\a -> Error: insufficient memory\\.\n Execution terminated!\n$");
  int ran = 0;
  run_or_end([&] { ++ran; });  // work without a fault just runs
  EXPECT_EQ(ran, 1);
}

}  // namespace

}  // namespace quarn::host
