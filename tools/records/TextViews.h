#pragma once
// The records as text: one line per run, the table of one run, and all runs as CSV.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

#include "MeasurementText.h"
#include "ResultsStore.h"
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
QString ListLine(const mv62rec::StoredRun& r);
// The run's facts and its measurement table (name, value, unit, low, high, verdict).
QString ShowText(const FoundRun& r);

// The runs as CSV (RFC 4180, CRLF line ends, UTF-8): a header row, then one row per run in the
// order they are added. The header names every measurement any run has, so the rows wait,
// compactly, until the last run is in.
class CsvTable {
  public:
    void Add(const mv62rec::StoredRun& run, const std::vector<mv62rec::StoredValue>& values);
    QByteArray Finish() const;

  private:
    QStringList names_;  // measurements in the order they first appeared
    QHash<QString, int> column_;
    // Each run: its fixed fields as CSV, then each value as (name index, field, verdict).
    QByteArray rows_;
};

}  // namespace mv62tool
