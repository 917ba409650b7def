#pragma once

#include <string>
#include <vector>

#include "link/line_trace.h"

namespace fotolyx::camsim {

// The records of a line trace, in order; false with a message for a file that cannot be read,
// is not a trace, or has a damaged pc or cam record.
bool LoadTrace(const std::string& path, std::vector<TraceRecord>& records, std::string& error);

// Plays the camera's side of a trace on a pseudo-terminal: waits for each pc record's bytes,
// then sends the cam records that followed it, each as long after them as it was traced. When
// the program writes something else, the camera says so on stderr and falls silent. Serves
// until SIGINT or SIGTERM; prints the terminal's path first, as the simulated camera does.
// Returns the exit status: 0 when every record was played, 1 otherwise.
int RunReplay(const std::vector<TraceRecord>& records);

}  // namespace fotolyx::camsim
