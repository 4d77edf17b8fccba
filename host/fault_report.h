// How the plug-ins end on an internal fault of the codec: the report in its
// fixed form on the standard error stream, then the end of the process with
// status 1, as the host expects of them. Nothing a patch can send reaches
// this: the plug-ins check every frame first.
#ifndef QUARN_HOST_FAULT_REPORT_H
#define QUARN_HOST_FAULT_REPORT_H

#include <cstdio>
#include <cstdlib>
#include <new>

#include "image/fatal.h"

namespace quarn::host {

[[noreturn]] inline void report_fault(const Fault& fault) {
  std::fputs("\n\n\a -> Error: ", stderr);
  std::fputs(fault.what(), stderr);
  if (fault.kind() == Fault::Kind::kMemory && fault.origin() != nullptr) {
    std::fprintf(stderr, "\nOrigin = %s\n", fault.origin());
  }
  std::fputs("\n Execution terminated!\n", stderr);
  std::exit(1);
}

// Runs `work`; a fault, or memory the standard library could not get,
// ends the process with the report.
template <class Work>
void run_or_end(Work&& work) {
  try {
    work();
  } catch (const Fault& fault) {
    report_fault(fault);
  } catch (const std::bad_alloc&) {
    report_fault(Fault(Fault::Kind::kMemory, kInsufficientMemory));
  }
}

}  // namespace quarn::host

#endif  // QUARN_HOST_FAULT_REPORT_H
