#pragma once
// An in-memory serial port for unit tests. The test keeps the FakeSerialLine: it records what the
// component asked of the port and lets the test play the other end (incoming bytes, modem lines,
// failures, the device going away).
#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "SerialDevice.h"
#include "SerialErrors.h"

struct FakeSerialLine {
    // What the component asked, in order ("open", "queues", "purge all", "settings", "dtr 1", ...).
    std::vector<std::string> log;
    std::vector<std::string> openedPaths;
    int closeCount = 0;
    bool open = false;
    std::vector<std::pair<int, int>> queueSizes;
    int purgeAllCount = 0;
    int purgeInputCount = 0;
    std::vector<SerialLineSettings> settingsRequests;  // every ApplySettings call
    std::optional<SerialLineSettings> settings;        // the settings in force
    std::vector<bool> dtrCalls;
    std::vector<bool> rtsCalls;
    std::vector<std::vector<std::uint8_t>> writes;  // one entry per write call
    std::vector<int> readRequests;
    int statusQueries = 0;
    int modemQueries = 0;

    // What the other end and the test control.
    std::deque<std::uint8_t> input;
    std::uint32_t modemLines = 0;  // kModem* bits
    std::uint32_t errorFlags = 0;  // reported by every status query
    int openErrno = 0;             // non-zero: Open fails with it
    bool failStatus = false;
    bool failModem = false;
    bool failRead = false;
    bool readsNothing = false;  // reads return 0 bytes although bytes wait
    bool failWrite = false;
    bool rejectSettings = false;
    bool disconnected = false;

    void Push(const std::vector<std::uint8_t>& bytes) {
        input.insert(input.end(), bytes.begin(), bytes.end());
    }
    void PushCount(std::size_t n, std::uint8_t value = 0x5A) {
        input.insert(input.end(), n, value);
    }
    // The device goes away: queries and reads fail, writes fail.
    void Disconnect() { disconnected = true; }
    // Every byte written, in order.
    std::vector<std::uint8_t> Written() const {
        std::vector<std::uint8_t> all;
        for (const auto& w : writes)
            all.insert(all.end(), w.begin(), w.end());
        return all;
    }
};

class FakeSerialDevice : public SerialDevice {
  public:
    explicit FakeSerialDevice(std::shared_ptr<FakeSerialLine> line) : line_(std::move(line)) {}
    ~FakeSerialDevice() override { Close(); }

    bool Open(const std::string& path, SerialOpenError& error) override {
        line_->log.push_back("open");
        line_->openedPaths.push_back(path);
        if (line_->openErrno != 0) {
            error.kind = OpenFailureFromErrno(line_->openErrno);
            error.errorNumber = line_->openErrno;
            error.reason = "fake open failure";
            return false;
        }
        opened_ = true;
        line_->open = true;
        line_->disconnected = false;
        return true;
    }
    bool IsOpen() const override { return opened_; }
    void Close() override {
        if (!opened_)
            return;
        opened_ = false;
        line_->open = false;
        ++line_->closeCount;
        line_->log.push_back("close");
    }
    bool SetQueueSizes(int input, int output) override {
        line_->log.push_back("queues");
        line_->queueSizes.emplace_back(input, output);
        return true;
    }
    void PurgeAll() override {
        line_->log.push_back("purge all");
        ++line_->purgeAllCount;
        line_->input.clear();
    }
    void PurgeInput() override {
        line_->log.push_back("purge input");
        ++line_->purgeInputCount;
        line_->input.clear();
    }
    bool ApplySettings(const SerialLineSettings& s) override {
        line_->log.push_back("settings");
        line_->settingsRequests.push_back(s);
        // Like a real port, a speed of 0 is refused and the old settings stay.
        if (line_->rejectSettings || s.baudRate <= 0)
            return false;
        line_->settings = s;
        return true;
    }
    void SetDtr(bool on) override {
        line_->log.push_back(on ? "dtr 1" : "dtr 0");
        line_->dtrCalls.push_back(on);
    }
    void SetRts(bool on) override {
        line_->log.push_back(on ? "rts 1" : "rts 0");
        line_->rtsCalls.push_back(on);
    }
    bool QueryStatus(std::uint32_t& bytesWaiting, std::uint32_t& errorFlags) override {
        ++line_->statusQueries;
        bytesWaiting = 0;
        errorFlags = 0;
        if (line_->disconnected || line_->failStatus)
            return false;
        bytesWaiting = static_cast<std::uint32_t>(line_->input.size());
        errorFlags = line_->errorFlags;
        return true;
    }
    bool QueryModemStatus(std::uint32_t& lines) override {
        ++line_->modemQueries;
        if (line_->disconnected || line_->failModem)
            return false;
        lines = line_->modemLines;
        return true;
    }
    int Read(std::uint8_t* buffer, int n) override {
        line_->readRequests.push_back(n);
        if (line_->disconnected || line_->failRead)
            return -1;
        if (line_->readsNothing)
            return 0;
        const int count = std::min<int>(n, static_cast<int>(line_->input.size()));
        std::copy_n(line_->input.begin(), count, buffer);
        line_->input.erase(line_->input.begin(), line_->input.begin() + count);
        return count;
    }
    bool Write(const std::uint8_t* data, int n) override {
        if (line_->disconnected || line_->failWrite)
            return false;
        line_->writes.emplace_back(data, data + n);
        return true;
    }
    bool Disconnected() const override { return line_->disconnected; }

  private:
    std::shared_ptr<FakeSerialLine> line_;
    bool opened_ = false;
};

// A device factory that hands out fakes bound to one line.
inline auto FakeDeviceFactory(std::shared_ptr<FakeSerialLine> line) {
    return [line]() -> std::unique_ptr<SerialDevice> {
        return std::make_unique<FakeSerialDevice>(line);
    };
}
