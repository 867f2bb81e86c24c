// The files made from the contract headers (the hosts' base classes, and the
// operations the simulator's journal and a scenario's faults name) are what the
// generator makes of the headers as they are now.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

TEST(GeneratedFilesTest, MatchTheContractHeaders) {
  const std::string command =
      "python3 '" CORVANE_SOURCE_DIR "/scripts/generate-host-bases.py' --check 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  const int status = ::pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
}

}  // namespace
