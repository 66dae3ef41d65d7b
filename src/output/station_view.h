// The station's live view of its board (output/station_board.h), for the
// person at the line: at a terminal the whole board redrawn in place, one
// line per port and a totals line; elsewhere (a pipe, a file, a CI log) one
// plain line per event with its time, nothing redrawn. Pure text builders:
// the station writes what they return. Device strings are shown with every
// control byte replaced by "?", so that a serial number cannot move the
// cursor or recolour the screen.
#ifndef QUORVEL_OUTPUT_STATION_VIEW_H_
#define QUORVEL_OUTPUT_STATION_VIEW_H_

#include <cstdint>
#include <string>

#include "output/station_board.h"

// The widest line DrawStationBoard draws, in columns.
constexpr int kStationViewColumns = 100;

// At a terminal: the whole board as text that redraws in place: first moves
// the cursor up over the previous drawing (linesDrawnBefore lines; nothing
// when 0), then one line per port (port, serial or "-", state or phase with
// percent, elapsed time m:ss since startedMs, frozen at endedMs once ended,
// and the result: new version, "current" or "failed: <step>") and a totals
// line (StationTotalsLine, plus ", ending" while the board ends), each
// ending in "\x1b[K\n"; a drawing shorter than the one before also clears
// what is left of it below. *linesDrawn receives the count for the next
// call. nowMs: NowMs() at the drawing.
std::string DrawStationBoard(const StationBoard& board, int32_t nowMs, int linesDrawnBefore,
                             int* linesDrawn);
// Not at a terminal: one plain line for the port's new state, ending in "\n"
// and with no escape sequence:
// "2026-12-09T18:40:02.123+01:00 1-3.2 QV24A01X downloading 37%\n"; an ended
// device shows "done 01-02-0000-00000105", "current" or "failed: <step>".
std::string PlainStationLine(const std::string& isoTime, const StationPort& port);
// "done 3, current 1, failed 1, running 2, queued 0", without a line end.
std::string StationTotalsLine(const StationTotals& totals);
// Elapsed milliseconds as "m:ss" ("0:07", "12:05"); a negative time shows
// "0:00".
std::string FormatElapsed(int32_t ms);

#endif  // QUORVEL_OUTPUT_STATION_VIEW_H_
