// Runs count independent jobs on a pool of threads and hands their results
// to the calling thread strictly in job order, so that everything written
// from the results comes out exactly as a one-thread loop would write it.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace xk::driver {

namespace detail {

// The results in flight between the workers and the calling thread: a ring
// of `window` slots, job idx in slot idx % window.  Every member is guarded
// by one mutex; a worker takes a job only while its slot is free.
template <class T>
class ResultWindow {
 public:
  struct Slot {
    std::optional<T> value;
    std::exception_ptr error;
    bool ready = false;
  };

  ResultWindow(std::size_t count, std::size_t window) : count_(count), slots_(window) {}

  // The next job for a worker, once its slot is free; none after a stop or
  // when every job is handed out.
  std::optional<std::size_t> next_job() {
    std::unique_lock lock(m_);
    space_cv_.wait(lock, [&] { return stop_ || next_ >= count_ || next_ < consumed_ + slots_.size(); });
    if (stop_ || next_ >= count_) return std::nullopt;
    return next_++;
  }

  // A worker's result of job idx (a failed job stops the handing out:
  // nothing after it is needed).
  void deliver(std::size_t idx, Slot result) {
    std::lock_guard lock(m_);
    if (result.error) stop_ = true;
    result.ready = true;
    slots_[idx % slots_.size()] = std::move(result);
    ready_cv_.notify_all();
    if (stop_) space_cv_.notify_all();
  }

  // Waits for the result of job idx on the calling thread and frees its slot.
  Slot collect(std::size_t idx) {
    Slot taken;
    {
      std::unique_lock lock(m_);
      Slot& s = slots_[idx % slots_.size()];
      ready_cv_.wait(lock, [&] { return s.ready; });
      taken = std::move(s);
      s = Slot{};
      consumed_ = idx + 1;
    }
    space_cv_.notify_all();
    return taken;
  }

  // Hands out no more jobs and wakes every waiting worker.
  void stop() {
    {
      std::lock_guard lock(m_);
      stop_ = true;
    }
    space_cv_.notify_all();
  }

 private:
  std::size_t count_;
  std::vector<Slot> slots_;
  std::mutex m_;
  std::condition_variable ready_cv_, space_cv_;
  std::size_t next_ = 0;      // next job to hand out
  std::size_t consumed_ = 0;  // jobs consumed so far
  bool stop_ = false;
};

}  // namespace detail

// For idx = 0 .. count-1, in order, on the calling thread: begin(idx), then
// consume(idx, std::move(result of produce(idx))).  produce runs on up to
// `threads` worker threads (inline when threads <= 1) and must be safe to
// call concurrently.  At most `window` results wait to be consumed.  An
// exception thrown by produce(idx) is rethrown on the calling thread right
// after begin(idx), once every earlier result has been consumed; jobs after
// it are not started.  Exceptions of begin and consume stop the workers and
// propagate.
template <class T, class Produce, class Begin, class Consume>
void ordered_run(std::size_t count, unsigned threads, Produce produce, Begin begin, Consume consume,
                 std::size_t window = 0) {
  if (threads <= 1 || count <= 1) {
    for (std::size_t idx = 0; idx < count; ++idx) {
      begin(idx);
      consume(idx, produce(idx));
    }
    return;
  }
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, count));
  if (window == 0) window = std::max<std::size_t>(64, 4 * static_cast<std::size_t>(threads));
  using Window = detail::ResultWindow<T>;
  Window results(count, window);

  auto worker = [&] {
    while (const std::optional<std::size_t> idx = results.next_job()) {
      typename Window::Slot result;
      try {
        result.value.emplace(produce(*idx));
      } catch (...) {
        result.error = std::current_exception();
      }
      results.deliver(*idx, std::move(result));
    }
  };

  // Stops and joins the workers on every way out of this function.
  struct Joiner {
    Window& results;
    std::vector<std::thread> pool;
    ~Joiner() {
      results.stop();
      for (auto& t : pool) t.join();
    }
  } joiner{results, {}};
  for (unsigned t = 0; t < threads; ++t) joiner.pool.emplace_back(worker);

  for (std::size_t idx = 0; idx < count; ++idx) {
    begin(idx);
    typename Window::Slot taken = results.collect(idx);
    if (taken.error) std::rethrow_exception(taken.error);
    consume(idx, std::move(*taken.value));
  }
}

}  // namespace xk::driver
