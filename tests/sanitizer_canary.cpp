// A program with one deliberate fault for the sanitizer builds to catch: a
// leak ("leak") or a data race ("race"). Its tests pass only when the
// sanitizer reports it, so a sanitizer that is silently off (leak checking
// disabled, say) fails the suite instead of passing it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void* volatile kept = nullptr;
// The race detector drops a report now and then (about one run in three
// hundred on our 2-core machines), so the race is run on eight counters,
// each with a thread of its own: one report is enough.
constexpr int kRaces = 8;
int shared_counters[kRaces];

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "leak") == 0) {
    kept = std::malloc(4096);
    kept = nullptr;  // the only pointer is gone
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "race") == 0) {
    int sum = 0;
    for (int i = 0; i < kRaces; ++i) {
      std::thread other([i] { ++shared_counters[i]; });
      ++shared_counters[i];
      other.join();
      sum += shared_counters[i];
    }
    std::printf("%d\n", sum);
    return 0;
  }
  std::fprintf(stderr, "usage: sanitizer_canary leak|race\n");
  return 2;
}
