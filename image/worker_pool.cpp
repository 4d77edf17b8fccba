// The pool: worker threads that pick up the tasks of whichever stage has
// tasks left and room for another thread, and sleep when none has.
//
// A stage is a Job on its caller's stack, linked into the pool's list while
// it runs. Tasks are claimed one at a time from the job's counter by the
// caller and by the workers that join it; a worker only reaches a job
// through the list, under the pool's lock, and the caller unlinks its job and
// waits under that lock until every worker has left it, so no worker touches
// a job after its caller has returned.
//
// Stages of one frame follow each other within microseconds, so a worker
// that finds nothing to do first watches for new work for a short while
// before it sleeps, and a caller whose last tasks are still running on
// workers watches their count before it sleeps. Waking a sleeping thread
// costs tens of microseconds on a busy virtual machine; the caller works on
// its own tasks meanwhile.
//
// The workers are never joined: the pool lives until the process ends (a
// plug-in module is never unloaded while its host runs, and joining threads
// while a module is being unloaded can deadlock on some systems).
#include "image/worker_pool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace quarn {

namespace {

struct Job {
  TaskRef task;
  int32_t tasks;
  int32_t helpers;                 // workers wanted: the thread count less the caller
  std::atomic<int32_t> next{0};    // the next task to claim
  std::atomic<int32_t> done{0};    // tasks that have ended
  std::atomic<bool> failed{false};
  // Under the pool's lock.
  int32_t joined = 0;    // workers that have joined; the n-th to join takes slot n
  int32_t members = 0;   // workers inside now
  bool closing = false;  // the caller waits for the members to leave
  std::exception_ptr error;
  Job* after = nullptr;

  Job(TaskRef t, int32_t n, int32_t h) : task(t), tasks(n), helpers(h) {}
};

inline void pause() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

// Watches `ready` for up to `limit`; true once it holds. After the first
// few checks it gives up the processor between checks, in case the thread
// it waits for is waiting for this processor (a busy machine has fewer free
// processors than threads).
template <class Ready>
bool watch(Ready&& ready, std::chrono::microseconds limit) {
  if (limit.count() <= 0) return ready();
  for (int i = 0; i < 64; ++i) {
    if (ready()) return true;
    pause();
  }
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (ready()) return true;
    std::this_thread::yield();
    if (std::chrono::steady_clock::now() >= end) return ready();
  }
}

constexpr std::chrono::microseconds kWatch{50};

class Pool {
 public:
  void run(Job& job);

 private:
  void worker();
  void work(Job& job, int32_t slot);
  Job* open_job();
  void add_workers(int32_t wanted);
  // With more threads than processors, a thread that watched would keep
  // the one it waits for from running: then it sleeps at once. Under the
  // lock.
  std::chrono::microseconds watch_limit() const {
    return workers_ < hardware_threads() ? kWatch : std::chrono::microseconds{0};
  }

  std::mutex mutex_;
  std::condition_variable work_;  // workers sleep here
  std::condition_variable left_;  // callers wait here for their job's workers
  Job* first_ = nullptr;
  Job* last_ = nullptr;
  int32_t workers_ = 0;
  int32_t sleeping_ = 0;
  std::atomic<uint64_t> jobs_added_{0};
};

Pool& pool() {
  static Pool* const p = new Pool;  // never destroyed; see above
  return *p;
}

void Pool::work(Job& job, int32_t slot) {
  for (;;) {
    const int32_t i = job.next.fetch_add(1, std::memory_order_relaxed);
    if (i >= job.tasks) return;
    if (!job.failed.load(std::memory_order_relaxed)) {
      try {
        job.task(i, slot);
      } catch (...) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (!job.error) job.error = std::current_exception();
        job.failed.store(true, std::memory_order_relaxed);
      }
    }
    job.done.fetch_add(1, std::memory_order_release);
  }
}

Job* Pool::open_job() {
  for (Job* j = first_; j != nullptr; j = j->after) {
    if (j->joined < j->helpers && j->next.load(std::memory_order_relaxed) < j->tasks) return j;
  }
  return nullptr;
}

void Pool::add_workers(int32_t wanted) {
  while (workers_ < wanted) {
    try {
      std::thread(&Pool::worker, this).detach();
    } catch (const std::system_error&) {
      return;  // the system has no more threads to give: the callers do the rest
    }
    ++workers_;
  }
}

void Pool::worker() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Job* job = open_job();
    if (job == nullptr) {
      const uint64_t seen = jobs_added_.load(std::memory_order_relaxed);
      const auto limit = watch_limit();
      lock.unlock();
      watch([&] { return jobs_added_.load(std::memory_order_relaxed) != seen; }, limit);
      lock.lock();
      job = open_job();
      if (job == nullptr) {
        ++sleeping_;
        work_.wait(lock, [&] { return (job = open_job()) != nullptr; });
        --sleeping_;
      }
    }
    const int32_t slot = ++job->joined;
    ++job->members;
    lock.unlock();
    work(*job, slot);
    lock.lock();
    if (--job->members == 0 && job->closing) left_.notify_all();
  }
}

void Pool::run(Job& job) {
  int32_t wake = 0;
  std::chrono::microseconds limit{};
  {
    std::lock_guard<std::mutex> hold(mutex_);
    add_workers(job.helpers);
    limit = watch_limit();
    (last_ == nullptr ? first_ : last_->after) = &job;
    last_ = &job;
    jobs_added_.fetch_add(1, std::memory_order_relaxed);
    wake = sleeping_ < job.helpers ? sleeping_ : job.helpers;
  }
  for (int32_t i = 0; i < wake; ++i) work_.notify_one();

  work(job, 0);
  // The last tasks may still be running on workers.
  watch([&] { return job.done.load(std::memory_order_acquire) == job.tasks; }, limit);
  std::exception_ptr error;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    Job** link = &first_;
    Job* before = nullptr;
    while (*link != &job) {
      before = *link;
      link = &(*link)->after;
    }
    *link = job.after;
    if (last_ == &job) last_ = before;
    job.closing = true;
    left_.wait(lock, [&] { return job.members == 0; });
    error = job.error;
  }
  if (error) std::rethrow_exception(error);
}

}  // namespace

int32_t hardware_threads() {
  static const int32_t n = [] {
    const unsigned h = std::thread::hardware_concurrency();
    if (h == 0) return int32_t{1};
    return h > static_cast<unsigned>(kMaxThreads) ? kMaxThreads : static_cast<int32_t>(h);
  }();
  return n;
}

int32_t resolve_threads(int32_t threads) {
  if (threads == 0) return hardware_threads();
  return threads < 1 ? 1 : threads > kMaxThreads ? kMaxThreads : threads;
}

void run_tasks(int32_t threads, int32_t tasks, TaskRef task) {
  if (tasks <= 0) return;
  if (threads <= 1 || tasks == 1) {
    for (int32_t i = 0; i < tasks; ++i) task(i, 0);
    return;
  }
  const int32_t t = threads > kMaxThreads ? kMaxThreads : threads;
  Job job(task, tasks, (t < tasks ? t : tasks) - 1);
  pool().run(job);
}

}  // namespace quarn
