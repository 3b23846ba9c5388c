#pragma once
// The simulator's device model at the other end of a StationHarness line, on the harness's
// virtual clock, and a recorder's clock that reads the same virtual time.
#include <chrono>
#include <cstdint>
#include <vector>

#include "Clock.h"
#include "StationHarness.h"
#include "sim/DeviceModel.h"

class HarnessClock : public mv62rec::Clock {
  public:
    // The wall clock starts at `start` when the harness's virtual clock reads 0.
    HarnessClock(const StationHarness& h, QDateTime start) : h_(h), start_(std::move(start)) {}
    QDateTime Wall() const override { return start_.addMSecs(h_.now()); }
    std::chrono::microseconds Steady() const override {
        return std::chrono::milliseconds(h_.now());
    }

  private:
    const StationHarness& h_;
    QDateTime start_;
};

class SimulatedDevice {
  public:
    explicit SimulatedDevice(mv62sim::DeviceConfig config) : model_(std::move(config)) {}
    // The device hears what the station sent, at the times it went out.
    void Hear(const std::vector<SentByte>& sent) {
        for (const SentByte& s : sent) {
            const auto at = std::chrono::microseconds(s.atMs * 1000);
            for (const auto& item : decoder_.Feed(std::span(&s.value, 1), at)) {
                if (item.kind == mv62::DecodedItem::Kind::Command) {
                    model_.Receive(item.command, at);
                }
            }
        }
    }
    // Everything the device has put on the line by `nowMs`.
    std::vector<std::uint8_t> Due(std::int64_t nowMs) {
        std::vector<std::uint8_t> out;
        for (const auto& e : model_.TakeDue(std::chrono::microseconds(nowMs * 1000))) {
            out.insert(out.end(), e.bytes.begin(), e.bytes.end());
        }
        return out;
    }

  private:
    mv62sim::DeviceModel model_;
    mv62::CommandDecoder decoder_;
};
