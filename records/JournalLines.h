#pragma once
// The session journal's lines, made and read back in one place. Every event is one JSON object
// on one line, its keys in the order QJsonDocument writes them. The two lines of a stream's
// receive event, the block received and the reply applied, are made straight from their bytes
// and readings: a stream brings ten of each a second, and building JSON objects for them would
// cost more than everything else the station does to record.
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <span>

#include "HostCommandDecoder.h"
#include "TestPlan.h"

namespace mv62rec {

// Any event as its line.
QByteArray EventLine(const QJsonObject& event);
// {"bytes", "event": "rx", "ms", "n", "time"}: a block read off the port.
QByteArray ReceivedLine(std::span<const std::uint8_t> block, qint64 ms, const QString& time);
// {"event": "tx", ...}: what the station wrote, as the command decoder grouped it; `failed` when
// the port refused a byte of it.
QJsonObject SentEvent(const mv62::DecodedItem& item, bool failed);

// {"event": "reply"}: an applied frame, its "code", "name", "bytes", its decoded "values", the
// "measurements" it carries (value by name, a sensor frame's six channels as one list each) and
// the "passed" verdicts of those the window judges; ReplyLine is the same event as a line, with
// its times.
QJsonObject ReplyEvent(const mv62::DeviceFrame& frame, const mv62::FrameReading& reading);
QByteArray ReplyLine(const mv62::DeviceFrame& frame, const mv62::FrameReading& reading, qint64 ms,
                     const QString& time);
// A reply event read back from a journal.
mv62::FrameReading ReadingFromEvent(const QJsonObject& event);

}  // namespace mv62rec
