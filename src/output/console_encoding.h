// Text in the console's character encoding, and raw writes to standard
// output. Texts are held in UTF-8; on a GBK console (code page 936, or a
// locale whose codeset is GBK, GB2312 or GB18030) they are converted, so
// Chinese reads correctly on both.
#ifndef QUORVEL_OUTPUT_CONSOLE_ENCODING_H_
#define QUORVEL_OUTPUT_CONSOLE_ENCODING_H_

#include <string>

#include "output/message_table.h"

// A UTF-8 text in the console encoding; unchanged when it cannot be
// converted.
std::string ToConsoleEncoding(const std::string& utf8);
// The message in the current language (UiLanguage) and console encoding.
std::string Text(Msg id);

// While set (a --json command runs), text output is dropped: the command's
// result goes out as one JSON line instead, through WriteResultLine. The
// console sets it for the command; it stays process-wide because every
// printer of every procedure writes through WriteOut, and the output mode
// would otherwise travel into each of them. ResetOutputState clears it.
extern bool TextOutputSuppressed;

void WriteOut(const std::string& bytes);
// Writes the bytes and a newline, flushed, even while text is suppressed.
void WriteResultLine(const std::string& bytes);
void FlushOut();
// Writes the bytes, a newline, and flushes.
void WriteLine(const std::string& bytes);
// Standard error, for people, unbuffered: the text and a newline. Standard
// output carries only the program's specified texts; what is added for
// people (waiting, hints, why a command failed) goes here.
void WriteErrorLine(const std::string& text);

#endif  // QUORVEL_OUTPUT_CONSOLE_ENCODING_H_
