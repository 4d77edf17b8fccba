// How the tool reports: exit statuses, and one line on stderr per problem,
// each on a line of its own (a progress line, tools/progress.h, is erased
// first).
#ifndef QUARN_TOOLS_MESSAGES_H
#define QUARN_TOOLS_MESSAGES_H

#include <string>

namespace quarn {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 1;  // bad input, or a file not read or written
inline constexpr int kExitUsage = 2;     // a command line the tool cannot follow

// "quarn: FILE: PROBLEM"; returns kExitBadInput.
int refuse(const std::string& file, const std::string& problem);

// "quarn COMMAND: PROBLEM (see 'quarn COMMAND --help')"; returns kExitUsage.
// With an empty command it points at 'quarn --help'.
int usage_error(const std::string& command, const std::string& problem);

// "quarn: TEXT", for information on stderr.
void note(const std::string& text);

// The name a message uses for a path: "stdin" or "stdout" for "-".
std::string input_name(const std::string& path);
std::string output_name(const std::string& path);

}  // namespace quarn

#endif  // QUARN_TOOLS_MESSAGES_H
