// The help texts of the tool and of each command.
#ifndef QUARN_TOOLS_HELP_H
#define QUARN_TOOLS_HELP_H

namespace quarn {

extern const char kToolHelp[];
extern const char kEncodeHelp[];
extern const char kDecodeHelp[];
extern const char kInfoHelp[];
extern const char kCompareHelp[];
extern const char kLadderHelp[];

}  // namespace quarn

#endif  // QUARN_TOOLS_HELP_H
