// The codec's worker threads: one pool for the whole process, shared by every
// caller, which runs a stage's tasks on up to the number of threads a call
// asks for, the calling thread among them.
//
// A stage is split into a fixed list of tasks before it starts, each writing
// its own part of the output (bands of rows, blocks of columns, planes), and
// whatever thread runs a task computes exactly what any other would: the
// split, not the threads, decides what is computed, so the bytes are the
// same for every thread count. Sums are gathered per task and added up in
// task order by the caller.
//
// Several callers may run stages at once (separate encoders or decoders on
// separate threads); a task may itself run tasks. A caller always works on
// its own tasks too, so a stage finishes even when every worker is busy
// elsewhere. An exception thrown by a task (quarn::Fault, std::bad_alloc)
// reaches the caller once every task of the stage has ended; the tasks not
// yet started are then skipped.
#ifndef QUARN_IMAGE_WORKER_POOL_H
#define QUARN_IMAGE_WORKER_POOL_H

#include <cstdint>
#include <type_traits>
#include <utility>

namespace quarn {

// The most threads one call may use.
inline constexpr int32_t kMaxThreads = 64;

// The processor threads this machine has (at least 1, at most kMaxThreads):
// what a thread count of 0 ("all cores") stands for.
int32_t hardware_threads();

// A call's thread count: 0 becomes hardware_threads(), and any count is
// limited to 1 .. kMaxThreads.
int32_t resolve_threads(int32_t threads);

// A callable taking (task, slot) by reference, without allocating. `slot` is
// below the call's thread count, and no two tasks run at once in one slot,
// so it can pick per-thread work storage.
class TaskRef {
 public:
  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, TaskRef>>>
  TaskRef(F&& f)  // NOLINT: implicit, like a function reference
      : object_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* o, int32_t task, int32_t slot) {
          (*static_cast<std::remove_reference_t<F>*>(o))(task, slot);
        }) {}
  void operator()(int32_t task, int32_t slot) const { call_(object_, task, slot); }

 private:
  void* object_;
  void (*call_)(void*, int32_t, int32_t);
};

// Runs task(i, slot) for i = 0 .. tasks - 1 on up to `threads` threads and
// returns when all have ended; with one thread or one task, on the calling
// thread alone, in order, without touching the pool.
void run_tasks(int32_t threads, int32_t tasks, TaskRef task);

// Part i of n items split into `parts` nearly equal runs, in order: items
// [part_begin(n, parts, i), part_begin(n, parts, i + 1)).
inline int32_t part_begin(int32_t n, int32_t parts, int32_t i) {
  return static_cast<int32_t>(static_cast<int64_t>(n) * i / parts);
}

// How many tasks to split `items` into for `threads` threads, when a task
// should hold at least `least` items: a few per thread, so that a thread
// that starts late or runs slowly leaves its share to the others.
inline int32_t task_count(int32_t threads, int64_t items, int64_t least) {
  if (threads <= 1 || items < 2 * least) return 1;
  const int64_t most = items / least;
  const int64_t want = static_cast<int64_t>(threads) * 4;
  return static_cast<int32_t>(most < want ? most : want);
}

}  // namespace quarn

#endif  // QUARN_IMAGE_WORKER_POOL_H
