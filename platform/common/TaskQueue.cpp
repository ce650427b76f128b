#include "platform/common/TaskQueue.h"

namespace platform {

TaskQueue::~TaskQueue() {
  Wait();
}

void TaskQueue::Start(std::size_t threads) {
  failures_.resize(threads);
  for (std::size_t i = 0; i < threads; ++i)
    threads_.emplace_back([this, i] { failures_[i] = TakeWhatIsLeft(); });
}

std::exception_ptr TaskQueue::Finish() {
  const std::exception_ptr own = TakeWhatIsLeft();
  Wait();
  if (own) return own;
  for (const std::exception_ptr& failure : failures_)
    if (failure) return failure;
  return nullptr;
}

std::exception_ptr TaskQueue::TakeWhatIsLeft() {
  try {
    for (std::size_t task; (task = next_.fetch_add(1)) < count_;) run_(task);
  } catch (...) {
    next_ = count_;  // no thread takes a new task
    return std::current_exception();
  }
  return nullptr;
}

void TaskQueue::Wait() {
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
}

}  // namespace platform
