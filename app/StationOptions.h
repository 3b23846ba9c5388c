#pragma once
// The station's command line. Without any option the station starts as it always does, Qt sees
// nothing but the program name, and nothing is recorded unless MV62_RECORDS names a folder.
#include <QString>
#include <optional>

struct StationOptions {
    std::optional<QString> recordsFolder;  // recording on, into this folder
    bool autoTest = false;                 // the automatic test without a window
    int portIndex = 0;                     // item of the port selector: COM1
    int speedIndex = 0;                    // item of the speed selector: 9600
    bool cashBox = false;
    double timeoutSeconds = 120;
};

// Reads the command line (and MV62_RECORDS) into `options`. Returns the exit code when the
// program ends here (after --help, --version, --check-port or a command line it cannot use), or
// nothing when
// the station starts.
std::optional<int> ReadStationOptions(int argc, char** argv, StationOptions& options);

// --check-port COMn: opens the port as Start Protocol would and closes it again. Exit code 0 when
// it opens; otherwise the technician's message on standard error and exit code 4.
int CheckPort(const QString& portName);

// Exit codes of the station.
constexpr int kExitPass = 0;
constexpr int kExitFail = 1;
constexpr int kExitUsage = 2;
constexpr int kExitIncomplete = 3;
constexpr int kExitPortUnusable = 4;
constexpr int kExitRecordNotWritten = 5;  // tested, but the run's record could not be written
