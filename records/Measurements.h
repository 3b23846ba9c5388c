#pragma once
// What an applied reply means for a test record: its decoded values, and the measurements it
// carries with their limits and verdicts, judged by the same functions as the window's indicators.
#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "Frames.h"
#include "ReplyMath.h"

namespace mv62rec {

// The window's state that judging a reply depends on, taken when the window applies it.
struct FrameContext {
    bool cashBox = false;   // CashBox ticked: the motor speed limit
    int sensorOffset = 0;   // the offset the sensor values are corrected with
    bool calibMode = true;  // calibration view: sensor values are shown, not judged
};

// One measured quantity of a run. `low`/`high` are the numbers of the window's rule and
// `comparison` says how they apply; they are empty where there is no such bound. `passed` is
// empty for values that are shown but not judged, and `value` is null until something was measured.
struct Measurement {
    QString name;
    QJsonValue value;
    QString unit;  // empty: no unit
    std::optional<int> low;
    std::optional<int> high;
    std::optional<mv62::Comparison> comparison;
    std::optional<bool> passed;

    QJsonObject ToJson() const;
    static Measurement FromJson(const QJsonObject& o);
};

// The measurement's value and limits in words: "4320 rpm", "3500 < x < 5000".
QString ValueText(const Measurement& m);
QString LimitText(const Measurement& m);

// One value an applied reply measured, and its verdict when the window judges it.
struct Reading {
    QString name;
    QJsonValue value;
    QJsonValue passed;  // a bool (a list for a channel group); null when shown, not judged
};

// What an applied reply says: its decoded values and what it measured. A sensor frame's six
// channels travel as one list each (see kChannelGroups).
struct ReplyReading {
    std::uint8_t code = 0;
    bool handled = false;  // a code the window handles
    QByteArray bytes;      // the frame in hexadecimal pairs
    QJsonObject values;    // decoded values other than the measurements
    std::vector<Reading> readings;
};

// Decodes and judges an applied frame with the window's state.
ReplyReading ReadReply(const mv62::DeviceFrame& frame, const FrameContext& context);

// The journal event of an applied reply, {"event": "reply"}: "code", "name", "bytes", the decoded
// "values", the "measurements" it carries (value by name) and the "passed" verdicts of those the
// window judges; the limits they were judged by are those of RunTemplate (for the motor speed as
// the reply's values.cashbox says). ReplyLine is the same event as a journal line, with its time.
QJsonObject ReplyEvent(const ReplyReading& reply);
QByteArray ReplyLine(const ReplyReading& reply, qint64 ms, const QString& time);
// A reply event read back from a journal.
ReplyReading ReplyFromEvent(const QJsonObject& event);

// The six channels' values of a sensor frame travel in the journal as one list each:
// "optics.corrected" [C1 .. C6] stands for optics.ch1.corrected ... optics.ch6.corrected, its
// verdicts likewise.
inline constexpr const char* kChannelGroups[] = {"optics.corrected", "optics.peak"};
QString ChannelMeasurementName(int channel, const QString& group);  // (0, "optics.peak")

enum class RunKind { AutoTest, Calibration };
QString RunKindName(RunKind kind);  // "auto-test", "calibration"

// Every measurement of a run of this kind, in record order, with its limits and nothing measured.
std::vector<Measurement> RunTemplate(RunKind kind, bool cashBox);

// The stages of the automatic test in chain order, each with the host command that starts it.
struct Stage {
    const char* name;
    std::uint8_t command;
};
const std::vector<Stage>& ChainStages();
// The stage a measurement belongs to; empty for values the device reports on its own.
QString StageOf(const QString& measurementName);

}  // namespace mv62rec
