#include "platform/common/TaskQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace {

using platform::TaskQueue;

// Every task runs once, whichever thread takes it.
TEST(TaskQueue, RunsEveryTaskOnce) {
  for (std::size_t threads : {0u, 1u, 3u}) {
    std::vector<std::atomic<int>> runs(100);
    TaskQueue queue(runs.size(), [&](std::size_t task) { ++runs[task]; });
    queue.Start(threads);
    EXPECT_EQ(queue.Finish(), nullptr);
    for (const std::atomic<int>& count : runs) EXPECT_EQ(count.load(), 1);
  }
}

// A failure ends the taking of tasks and comes out of Finish, on whichever
// thread it happened.
TEST(TaskQueue, GivesTheFailureAndTakesNoNewTask) {
  int runs = 0;
  TaskQueue alone(1000, [&](std::size_t task) {
    ++runs;
    if (task == 3) throw std::runtime_error("task 3");
  });
  const std::exception_ptr failure = alone.Finish();
  ASSERT_NE(failure, nullptr);
  EXPECT_THROW(std::rethrow_exception(failure), std::runtime_error);
  EXPECT_EQ(runs, 4);

  TaskQueue shared(2, [](std::size_t) { throw std::runtime_error("every task"); });
  shared.Start(1);
  EXPECT_NE(shared.Finish(), nullptr);
}

}  // namespace
