#include "Clock.h"

#include <cstdio>
#include <cstdlib>

namespace mv62rec {

QDateTime SystemClock::Wall() const {
    return QDateTime::currentDateTime();
}

std::chrono::microseconds SystemClock::Steady() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

const SystemClock& SystemClock::Instance() {
    static const SystemClock clock;
    return clock;
}

QString IsoTime(const QDateTime& t) {
    // Formatted by hand: a format string is parsed anew on every call, and the journal stamps
    // every receive event.
    const QDate d = t.date();
    const QTime h = t.time();
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", d.year(),
                  d.month(), d.day(), h.hour(), h.minute(), h.second(), h.msec(),
                  offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return QString::fromLatin1(text);
}

}  // namespace mv62rec
