// The program's entry: the output language, one command from the command
// line, or the interactive prompt.
#ifndef QUORVEL_CONSOLE_PROGRAM_H_
#define QUORVEL_CONSOLE_PROGRAM_H_

#include <string>
#include <vector>

// Runs the program with the arguments after the program name; returns the
// process exit status: 1 when an executed dfu or ctrl command failed, else 0.
int RunProgram(const std::vector<std::string>& arguments);

bool DetectUiLanguage();
std::string BuildBanner();
// Cuts at every space only; empty tokens between adjacent spaces are kept,
// a single trailing space yields no empty last token.
std::vector<std::string> SplitTokens(const std::string& line);
// Lowercases ASCII letters of the line. Where file names are case-sensitive,
// the values of -d and -t in a dfu line keep the case they were typed in, so
// that an existing file is found.
std::string LowercaseLine(const std::string& line);

#endif  // QUORVEL_CONSOLE_PROGRAM_H_
