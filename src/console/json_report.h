// The --json line of a run: the command that runs with --json keeps what its
// line will say here, so that however the run ends (its result, a failure,
// an interrupt at any wait) exactly one line is written; a command line that
// asked for --json and was refused gets its line too.
#ifndef QUORVEL_CONSOLE_JSON_REPORT_H_
#define QUORVEL_CONSOLE_JSON_REPORT_H_

#include <string>
#include <vector>

#include "console/command.h"
#include "dfu/run_record.h"
#include "output/json_result.h"

// A --json command begins: command and record must live until
// EndJsonReport. Does nothing for a text command.
void BeginJsonReport(const Command& command, const RunRecord* record);
// The first connection's device and the versions it reported then.
void NoteJsonConnection(const DeviceEntry& connected, const VersionTexts& before);
// Writes the running command's line on standard output (text output stays
// suppressed, the line is flushed at once); at most once per command, and
// nothing when no --json command runs. reason: empty when there is none.
void WriteJsonReport(JsonResultKind kind, const std::string& reason);
void EndJsonReport();

// Whether the program's own arguments ask for --json (or --events, which
// ends with its line), whether or not they form a command.
bool ArgumentsAskForJson(const std::vector<std::string>& arguments);
// The line of a refused command line, with its reason.
void WriteRefusedJsonLine(const std::string& reason);

// Test hook: no command runs.
void ResetJsonReport();

#endif  // QUORVEL_CONSOLE_JSON_REPORT_H_
