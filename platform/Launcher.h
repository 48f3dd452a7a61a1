// Starting another program, the way the shell's "open" starts one on Windows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Cuts a parameter text into arguments by the rules the Microsoft C run-time applies to a
// program's command line, so a program started here sees the argv it would see on Windows:
// space and tab separate arguments outside quotes; 2n backslashes before a quote give n
// backslashes and the quote opens or closes a quoted part; 2n+1 backslashes before a quote give
// n backslashes and a literal quote; backslashes before anything else are literal; inside a
// quoted part "" gives a literal quote and the part goes on; "" alone is an empty argument.
std::vector<std::string> SplitCommandLine(std::string_view parameters);

// Starts the program file with the parameter text as its arguments (argv[0] is the file) and
// does not wait for it. The owner's execute bit is added to the file first, since files come out
// of a cabinet without it. The program inherits the working directory and the environment, but
// none of the caller's open descriptors beyond 0 to 2 and no blocked or ignored signal. It is
// reaped when it ends, so it never lingers as a zombie. False when it could not be started; the
// last error then holds the reason.
bool StartProgram(const std::string& file, std::string_view parameters);

}  // namespace platform
