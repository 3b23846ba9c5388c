#pragma once
// The station configuration file: which station this is on its line, where it records, what it
// asks before a run, and the line's database that mv62-records sends the records to. An INI file
// read with QSettings; every key is optional, and a station without the file behaves as without
// any of its keys.
//
//   [station]  id, line, location           texts of 1 to 64 printable characters
//   [records]  folder                       as --records FOLDER
//              ask_serial, ask_operator     true or false (also yes/no, 1/0, in any case)
//   [database] uri                          postgresql://user@host/dbname, never with a password
#include <QString>
#include <optional>

namespace mv62rec {

struct StationConfig {
    std::optional<QString> stationId;  // the host name when not configured
    std::optional<QString> line;
    std::optional<QString> location;
    std::optional<QString> recordsFolder;  // absolute, a leading ~ made the home folder
    bool askSerial = false;                // the unit serial before each run, in the window
    bool askOperator = false;              // the operator once, when the window opens
    std::optional<QString> databaseUri;
};

// The file to read: `given` (--config) when not empty; else the first mv62-station/station.conf
// in the user's configuration folder ($XDG_CONFIG_HOME, or ~/.config), then in the system's
// ($XDG_CONFIG_DIRS, or /etc/xdg). Empty when there is none.
QString StationConfigPath(const QString& given);

// Reads the whole file. Nothing is taken from a file with any fault: the result is then empty and
// `error` one line naming the file, the key (or the line) and what is wrong with it.
std::optional<StationConfig> ReadStationConfig(const QString& path, QString& error);

}  // namespace mv62rec
