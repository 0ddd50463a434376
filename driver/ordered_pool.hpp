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

  struct Slot {
    std::optional<T> value;
    std::exception_ptr error;
    bool ready = false;
  };
  std::vector<Slot> slots(window);
  std::mutex m;
  std::condition_variable ready_cv, space_cv;
  std::size_t next = 0;      // next job to hand out
  std::size_t consumed = 0;  // jobs consumed so far
  bool stop = false;

  auto worker = [&] {
    for (;;) {
      std::size_t idx;
      {
        std::unique_lock lock(m);
        space_cv.wait(lock, [&] { return stop || next >= count || next < consumed + window; });
        if (stop || next >= count) return;
        idx = next++;
      }
      Slot result;
      try {
        result.value.emplace(produce(idx));
      } catch (...) {
        result.error = std::current_exception();
      }
      std::lock_guard lock(m);
      if (result.error) stop = true;  // nothing after a failed job is needed
      Slot& s = slots[idx % window];
      s.value = std::move(result.value);
      s.error = result.error;
      s.ready = true;
      ready_cv.notify_all();
      if (stop) space_cv.notify_all();
    }
  };

  std::vector<std::thread> pool;
  // Stops and joins the workers on every way out of this function.
  struct Joiner {
    std::vector<std::thread>& pool;
    std::mutex& m;
    bool& stop;
    std::condition_variable& cv;
    ~Joiner() {
      {
        std::lock_guard lock(m);
        stop = true;
      }
      cv.notify_all();
      for (auto& t : pool) t.join();
    }
  } joiner{pool, m, stop, space_cv};
  for (unsigned t = 0; t < threads; ++t) pool.emplace_back(worker);

  for (std::size_t idx = 0; idx < count; ++idx) {
    begin(idx);
    Slot taken;
    {
      std::unique_lock lock(m);
      Slot& s = slots[idx % window];
      ready_cv.wait(lock, [&] { return s.ready; });
      taken.value = std::move(s.value);
      taken.error = s.error;
      s = Slot{};
      consumed = idx + 1;
    }
    space_cv.notify_all();
    if (taken.error) std::rethrow_exception(taken.error);
    consume(idx, std::move(*taken.value));
  }
}

}  // namespace xk::driver
