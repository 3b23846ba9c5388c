#pragma once
// The station's command line. Without any argument the station starts as it always does and Qt
// sees nothing but the program name.
#include <optional>

// What the command line asks of a station that starts; nothing yet beyond its usual start.
struct StationOptions {};

// Reads the command line into `options`. Returns the exit code when the program ends here (after
// --help, a command line it cannot use, or --check-port), or nothing when the station starts.
std::optional<int> ReadStationOptions(int argc, char** argv, StationOptions& options);

// --check-port COMn: opens the port as Start Protocol would and closes it again. Exit code 0 when
// it opens; otherwise the technician's message on standard error and exit code 4.
int CheckPort(const char* portName);

constexpr int kExitUsage = 2;
constexpr int kExitPortUnusable = 4;
