#pragma once
// A main window on a virtual clock and a fake serial line: tests feed device bytes, run exactly
// one receive event at a time, and read back every byte the station sent with its virtual time.
#include <QApplication>
#include <QStringList>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "FakeSerialDevice.h"
#include "Unit1.h"

struct SentByte {
    std::uint8_t value;
    std::int64_t atMs;  // virtual time when it went out
};

class StationHarness {
  public:
    StationHarness();
    ~StationHarness();

    TForm1& form() { return *form_; }
    std::int64_t now() const { return nowMs_; }

    // Start Protocol on the fake line (the device factory hands out a fresh fake each time).
    void StartLink();
    // Device bytes arrive and one polling tick of the current component runs.
    void Receive(const std::vector<std::uint8_t>& bytes);
    // Runs one polling tick without new bytes.
    void Tick();

    // All bytes sent on every line since the last TakeSent, in order.
    std::vector<SentByte> TakeSent();
    std::vector<std::uint8_t> TakeSentBytes();

    // A click made at virtual time `atMs`: it runs at the window's first pump from then on, as a
    // queued message would.
    void ClickAt(std::int64_t atMs, std::function<void()> action) {
        queued_.push_back({atMs, std::move(action)});
    }
    // Advances the virtual clock while the window is idle.
    void Advance(int ms) { nowMs_ += ms; }

    QStringList errors;
    std::vector<int> waits;  // every wait the window made, in ms
    int pumps = 0;
    // One fake line per Start Protocol, in order; the last one is the current line.
    std::vector<std::shared_ptr<FakeSerialLine>> lines;
    // Open fails with this errno at the next Start Protocol (0: opens).
    int nextOpenErrno = 0;

  private:
    std::unique_ptr<TForm1> form_;
    std::int64_t nowMs_ = 0;
    struct Queued {
        std::int64_t atMs;
        std::function<void()> action;
    };
    std::deque<Queued> queued_;
    std::vector<SentByte> sent_;
    friend class TimedFakeDevice;
};

// A frame from the device: 55 AA code data... (the protocol's frame builder and sensor frame
// codec, with the data as a brace list).
std::vector<std::uint8_t> DeviceFrameBytes(std::uint8_t code, std::vector<std::uint8_t> data);
// A 33-byte sensor frame (0x02 or 0x26) with raw values, drive values and peaks.
std::vector<std::uint8_t> SensorFrameBytes(std::uint8_t code, std::array<std::uint8_t, 6> raw,
                                           std::array<std::uint16_t, 8> drive,
                                           std::array<std::uint8_t, 6> peak);
