#pragma once
// The records as text: one line per run, the table of one run, and all runs as CSV.
#include <QString>
#include <vector>

#include "MeasurementText.h"
#include "records/RunFolder.h"

namespace mv62tool {

// Where an INCOMPLETE run stopped and why: "stopped at lamp: timeout"; empty otherwise.
QString StopText(const mv62rec::RunRecord& run);
// The device's text, or that the unit never identified itself.
QString DeviceText(const mv62rec::RunRecord& run);
// The unit: its serial and its identification, "SN-0001 (MV62 SIM 1.0)", or the identification.
QString UnitText(const mv62rec::RunRecord& run);
// The station as the line knows it: "BENCH-07 (line L2, Hall 3)".
QString StationText(const mv62rec::StationInfo& station);

// time, kind, serial, device, outcome, station, operator, failed measurements (or where it
// stopped).
QString ListLine(const FoundRun& r);
// The run's facts and its measurement table (name, value, unit, low, high, verdict).
QString ShowText(const FoundRun& r);
// RFC 4180: a header row, then one row per run in the order given; CRLF line ends, UTF-8.
QByteArray CsvTable(const std::vector<const FoundRun*>& runs);

}  // namespace mv62tool
