// What a benchmark's table was measured on: the processor's name and the
// load of the machine when it started.
#ifndef QUARN_BENCH_MACHINE_H
#define QUARN_BENCH_MACHINE_H

#include <fstream>
#include <string>

namespace bench {

inline std::string cpu_model() {
  std::ifstream cpu("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpu, line)) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown CPU";
}

// The one-, five- and fifteen-minute load averages.
inline std::string load_average() {
  std::string load;
  std::ifstream avg("/proc/loadavg");
  std::getline(avg, load);
  return load.substr(0, load.find(' ', 10));
}

}  // namespace bench

#endif  // QUARN_BENCH_MACHINE_H
