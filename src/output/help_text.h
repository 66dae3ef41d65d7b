// The command summary printed when the prompt starts and on "help".
#ifndef QUORVEL_OUTPUT_HELP_TEXT_H_
#define QUORVEL_OUTPUT_HELP_TEXT_H_

// Prints the help lines of the current language, whatever LogEnabled says.
void PrintHelp();

#endif  // QUORVEL_OUTPUT_HELP_TEXT_H_
