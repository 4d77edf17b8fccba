// The time the tool has run, for -v: from its start (before main), so that
// reading and writing the files count as well as the coding.
#ifndef QUARN_TOOLS_RUN_TIME_H
#define QUARN_TOOLS_RUN_TIME_H

#include <string>

namespace quarn {

// Milliseconds since the tool started.
double run_ms();

// Milliseconds since the last call of lap() (or since the start): the
// time of one step.
double lap();

// Milliseconds as -v gives them: "13.6".
std::string format_ms(double ms);

}  // namespace quarn

#endif  // QUARN_TOOLS_RUN_TIME_H
