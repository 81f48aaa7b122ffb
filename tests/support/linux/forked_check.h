// Checks that run in a forked child, for what the test process itself must
// not undergo (a sandbox filter, a lowered limit).
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zel::test {

// Runs `check` in a child and expects it to answer 0; any other answer is
// the number of the step that failed, from 10 on.
inline void ExpectForkedCheckPasses(int (*check)()) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(check());
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the step that failed, from 10 on";
}

}  // namespace zel::test
