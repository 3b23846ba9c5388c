#pragma once
// Where the recorder's times come from: the wall clock for the dates people read, a steady clock
// for the spacing of events. Tests put a clock of their own in its place.
#include <QDateTime>
#include <QString>
#include <chrono>

namespace mv62rec {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual QDateTime Wall() const = 0;  // local time
    virtual std::chrono::microseconds Steady() const = 0;
};

class SystemClock final : public Clock {
  public:
    QDateTime Wall() const override;
    std::chrono::microseconds Steady() const override;
    static const SystemClock& Instance();
};

// ISO 8601 with milliseconds and the offset from UTC: 2026-12-08T23:10:00.123+01:00.
QString IsoTime(const QDateTime& t);

}  // namespace mv62rec
