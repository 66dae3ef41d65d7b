// The command summary printed when the prompt starts and on "help", and the
// longer one of --help.
#ifndef QUORVEL_OUTPUT_HELP_TEXT_H_
#define QUORVEL_OUTPUT_HELP_TEXT_H_

// Prints the help lines of the current language, whatever LogEnabled says.
void PrintHelp();
// --help: the help lines, then the options and commands they leave out
// and the values of "language", in the current language.
void PrintCommandLineHelp();

#endif  // QUORVEL_OUTPUT_HELP_TEXT_H_
