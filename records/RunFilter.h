#pragma once
// Which runs a command reads, as the user asks: by unit, station, line, time, outcome and kind.
// A day (YYYY-MM-DD) is compared with the day the record shows, in its own offset from UTC; a
// time with the instant the run started.
#include <QDateTime>
#include <QString>
#include <optional>

#include "Measurement.h"
#include "RunRecord.h"

namespace mv62rec {

struct RunFilter {
    QString device;                  // a part of the device text, in any case
    std::optional<QString> serial;   // the unit's serial, as given
    std::optional<QString> station;  // the station's id
    std::optional<QString> line;
    std::optional<QString> sinceDay, untilDay;
    std::optional<QDateTime> sinceTime, untilTime;  // at or after, at or before
    std::optional<Outcome> outcome;
    std::optional<RunKind> kind;

    // Takes --since or --until: a day such as 2026-12-08 or an ISO 8601 time; false for another
    // text.
    bool SetBound(bool since, const QString& text);
    // Whether a unit's identification holds the device text asked for.
    bool AcceptsDevice(const QString& runDevice) const;
};

}  // namespace mv62rec
