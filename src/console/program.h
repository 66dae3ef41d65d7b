// The program's entry: the output language, one command from the command
// line, or the interactive prompt.
#ifndef QUORVEL_CONSOLE_PROGRAM_H_
#define QUORVEL_CONSOLE_PROGRAM_H_

#include <string>
#include <vector>

#include "console/prompt_case.h"

// Exit statuses besides 0 (success, or the prompt ended) and 1 (the dfu or
// ctrl command that ran failed); 130 (interrupted) is in interruption.h.
constexpr int kUsageErrorStatus = 2;  // the command line was rejected and no command ran

// Runs the program with the arguments after the program name; returns the
// process exit status: 1 when an executed dfu or ctrl command failed; 2 when
// the command line was rejected and the prompt then met the end of its input
// without running a command, or at once, without a prompt, when the refused
// command line asked for --json (its line says "refused"); else 0.
int RunProgram(const std::vector<std::string>& arguments);

bool DetectUiLanguage();
std::string BuildBanner();
// Cuts at every space only, except within double quotes, which stay in the
// token; empty tokens between adjacent spaces are kept, a single trailing
// space yields no empty last token.
std::vector<std::string> SplitTokens(const std::string& line);
// Lowercases ASCII letters of the line: all of them with kWholeLineLowered;
// with kValuesKeepCase the values of -d and -t in a dfu line (file names
// are case-sensitive there, and an existing file must be found) and of
// --serial and --port in a dfu or ctrl line keep the case they were typed in.
std::string LowercaseLine(const std::string& line, PromptCase promptCase);

#endif  // QUORVEL_CONSOLE_PROGRAM_H_
