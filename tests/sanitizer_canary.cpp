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
int shared_counter = 0;

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "leak") == 0) {
    kept = std::malloc(4096);
    kept = nullptr;  // the only pointer is gone
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "race") == 0) {
    std::thread other([] { ++shared_counter; });
    ++shared_counter;
    other.join();
    std::printf("%d\n", shared_counter);
    return 0;
  }
  std::fprintf(stderr, "usage: sanitizer_canary leak|race\n");
  return 2;
}
