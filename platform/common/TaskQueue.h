// Tasks 0 .. count-1 shared by threads: each thread takes the next task that
// none has taken, so the tasks spread over the threads however long each
// takes. After a task fails, no thread takes a new one.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

class TaskQueue {
 public:
  TaskQueue(std::size_t count, std::function<void(std::size_t)> run)
      : run_(std::move(run)), count_(count) {}
  TaskQueue(const TaskQueue&) = delete;
  TaskQueue& operator=(const TaskQueue&) = delete;
  // Waits for the started threads.
  ~TaskQueue();

  // Starts `threads` threads on the tasks; called once at most.
  void Start(std::size_t threads);

  // Takes on this thread the tasks that are left, waits for the started
  // threads and gives the first failure: this thread's, then theirs in the
  // order started; null when every task ran.
  std::exception_ptr Finish();

 private:
  std::exception_ptr TakeWhatIsLeft();
  void Wait();

  const std::function<void(std::size_t)> run_;
  const std::size_t count_;
  std::atomic<std::size_t> next_{0};
  std::vector<std::thread> threads_;
  std::vector<std::exception_ptr> failures_;  // one per started thread
};

}  // namespace platform
