// Runs jobs that wait for earlier jobs (a merge tree: a join needs the
// joins that made its members) on a pool of threads, and hands their
// results to the calling thread strictly in job order, so that whatever is
// written from the results comes out as a one-thread loop would write it.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace xk::driver {

// For idx = 0 .. count-1: produce(idx) once every job named in needs[idx]
// (indexes below idx, -1 for none) has finished, on up to `threads` worker
// threads (inline, in order, when threads <= 1); consume(idx, result) on the
// calling thread in job order.  The lowest ready index starts first.  When
// produce(idx) throws, no job after idx starts any more; the jobs before it
// run and are consumed as in a one-thread loop, then the exception
// propagates (after the running jobs have ended).
//
// costs (empty, or one per job, e.g. the bytes a job holds while it runs):
// a job starts only while the costs of the running jobs and its own stay
// within `budget`, or when no other job runs.
// One piece of about 90 lines, as ordered_run beside it: the scheduling
// loop, the workers and the in-order hand-over share one lock and its
// invariants, which read best together.
template <class T, class Produce, class Consume>
void tree_run(std::size_t count, unsigned threads, const std::vector<std::array<int, 2>>& needs, Produce produce,
              Consume consume, const std::vector<double>& costs = {}, double budget = 0.0) {
  if (threads <= 1 || count <= 1) {
    for (std::size_t idx = 0; idx < count; ++idx) consume(idx, produce(idx));
    return;
  }
  enum class State { Waiting, Running, Done };
  std::vector<State> state(count, State::Waiting);
  std::vector<std::optional<T>> results(count);
  std::vector<std::exception_ptr> errors(count);
  std::mutex m;
  std::condition_variable cv;
  bool stop = false;
  std::size_t limit = count;      // jobs from here on are not started (a failed job)
  std::size_t first_waiting = 0;  // every job below it has started
  std::size_t running = 0;
  double held = 0.0;  // costs of the running jobs
  auto cost = [&](std::size_t idx) { return costs.empty() ? 0.0 : costs[idx]; };

  auto ready = [&](std::size_t idx) {
    if (state[idx] != State::Waiting) return false;
    if (running > 0 && !costs.empty() && held + cost(idx) > budget) return false;
    for (int need : needs[idx])
      if (need >= 0 && state[static_cast<std::size_t>(need)] != State::Done) return false;
    return true;
  };
  // The lowest ready job, count when none (call under the lock).
  auto pick = [&] {
    while (first_waiting < count && state[first_waiting] != State::Waiting) ++first_waiting;
    for (std::size_t idx = first_waiting; idx < limit; ++idx)
      if (ready(idx)) return idx;
    return count;
  };
  auto worker = [&] {
    std::unique_lock lock(m);
    for (;;) {
      std::size_t idx = count;
      cv.wait(lock, [&] { return stop || first_waiting >= limit || (idx = pick()) < count; });
      if (stop || idx >= count) return;
      state[idx] = State::Running;
      ++running;
      held += cost(idx);
      lock.unlock();
      std::optional<T> value;
      std::exception_ptr error;
      try {
        value.emplace(produce(idx));
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      results[idx] = std::move(value);
      errors[idx] = error;
      state[idx] = State::Done;
      --running;
      held -= cost(idx);
      if (error && idx < limit) limit = idx;
      cv.notify_all();
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
  } joiner{pool, m, stop, cv};
  for (unsigned t = 0; t < threads; ++t) pool.emplace_back(worker);

  for (std::size_t idx = 0; idx < count; ++idx) {
    std::optional<T> value;
    {
      std::unique_lock lock(m);
      // Every job up to the first failed one runs, so this wait ends.
      cv.wait(lock, [&] { return state[idx] == State::Done; });
      if (errors[idx]) std::rethrow_exception(errors[idx]);
      value = std::move(results[idx]);
    }
    consume(idx, std::move(*value));
  }
}

}  // namespace xk::driver
