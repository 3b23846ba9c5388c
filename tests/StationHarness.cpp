#include "StationHarness.h"

#include <algorithm>

#include "Replies.h"

// A fake device that also stamps every written byte with the harness's virtual time.
class TimedFakeDevice : public FakeSerialDevice {
  public:
    TimedFakeDevice(std::shared_ptr<FakeSerialLine> line, StationHarness& h)
        : FakeSerialDevice(std::move(line)), h_(h) {}
    bool Write(const std::uint8_t* data, int n) override {
        const bool ok = FakeSerialDevice::Write(data, n);
        if (ok) {
            for (int i = 0; i < n; ++i) {
                h_.sent_.push_back({data[i], h_.nowMs_});
            }
        }
        return ok;
    }

  private:
    StationHarness& h_;
};

StationHarness::StationHarness() : form_(std::make_unique<TForm1>()) {
    TForm1& f = *form_;
    f.Wait = [this](int ms) {
        waits.push_back(ms);
        nowMs_ += ms;
    };
    f.Pump = [this] {
        ++pumps;
        // Queued clicks whose time has come run here, in order.
        while (!queued_.empty() && queued_.front().atMs <= nowMs_) {
            auto action = std::move(queued_.front().action);
            queued_.pop_front();
            action();
        }
    };
    f.ShowError = [this](const QString& message) { errors << message; };
    f.SerialDeviceFactory = [this]() -> std::unique_ptr<SerialDevice> {
        auto line = std::make_shared<FakeSerialLine>();
        line->openErrno = nextOpenErrno;
        lines.push_back(line);
        return std::make_unique<TimedFakeDevice>(line, *this);
    };
}

StationHarness::~StationHarness() = default;

void StationHarness::StartLink() {
    form_->Button3Click();
}

void StationHarness::Receive(const std::vector<std::uint8_t>& bytes) {
    lines.back()->Push(bytes);
    Tick();
}

void StationHarness::Tick() {
    if (form_->Comm != nullptr) {
        form_->Comm->ProcTimer();
    }
}

std::vector<SentByte> StationHarness::TakeSent() {
    return std::exchange(sent_, {});
}

std::vector<std::uint8_t> StationHarness::TakeSentBytes() {
    std::vector<std::uint8_t> out;
    for (const SentByte& s : TakeSent()) {
        out.push_back(s.value);
    }
    return out;
}

std::vector<std::uint8_t> DeviceFrameBytes(std::uint8_t code, std::vector<std::uint8_t> data) {
    return mv62::MakeDeviceFrame(code, data);
}

std::vector<std::uint8_t> SensorFrameBytes(std::uint8_t code, std::array<std::uint8_t, 6> raw,
                                           std::array<std::uint16_t, 8> drive,
                                           std::array<std::uint8_t, 6> peak) {
    mv62::SensorFrameData data;  // the two values shown in the hidden labels stay 0
    data.raw = raw;
    data.drive = drive;
    data.peak = peak;
    return mv62::EncodeSensorFrame(code, data);
}
