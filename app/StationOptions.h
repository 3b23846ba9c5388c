#pragma once
// The station's command line and its configuration file. Without any option and without the file
// the station starts as it always does, Qt sees nothing but the program name, and nothing is
// recorded unless MV62_RECORDS names a folder.
#include <QString>
#include <optional>

#include "Recorder.h"
#include "StationConfig.h"

struct StationOptions {
    std::optional<QString> recordsFolder;  // recording on, into this folder
    bool recordsFolderUnnamed = false;     // --records without a folder: the user's, unless the
                                           // configuration file names one
    bool autoTest = false;                 // the automatic test without a window
    int portIndex = 0;                     // item of the port selector: COM1
    int speedIndex = 0;                    // item of the speed selector: 9600
    bool cashBox = false;
    double timeoutSeconds = 120;
    std::optional<QString> configFile;    // --config: this file instead of the usual places
    std::optional<QString> unitSerial;    // --serial: the unit's serial for the automatic test
    std::optional<QString> operatorName;  // --operator, instead of the user logged in
    bool askSerial = false;    // before each run, in a window that records (--ask-serial or file)
    bool askOperator = false;  // once the window is open, when it records (file, no --operator)
    mv62rec::StationConfig config;  // what the configuration file says
};

// Reads the command line (and MV62_RECORDS) into `options`. Returns the exit code when the
// program ends here (after --help, --version, --check-port or a command line it cannot use), or
// nothing when
// the station starts.
std::optional<int> ReadStationOptions(int argc, char** argv, StationOptions& options);

// Reads the configuration file (--config, else the user's, else the system's) into
// `options.config` and fills in what the command line and the environment left open: the command
// line wins over MV62_RECORDS, which wins over the file. Returns the one line that says what is
// wrong with the file, when it cannot be used; nothing of it is applied then.
std::optional<QString> ApplyStationConfig(StationOptions& options);

// The station as its records name it: this machine and its user, with the configured station id
// (the host name when there is none), line and location and the operator given by --operator.
mv62rec::StationIdentity StationIdentityOf(const StationOptions& options);

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
