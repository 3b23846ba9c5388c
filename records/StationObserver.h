#pragma once
// What the window tells whoever watches it: its state changes that the line does not show, and
// each frame it applies with the state it judges it by. Along with the line tap of the serial
// component this is all the records room sees of the station. A station that does not record
// tells None(), which keeps nothing.
#include <QString>
#include <string>

#include "Frames.h"
#include "LineTap.h"
#include "TestPlan.h"

namespace mv62rec {

class StationObserver : public LineTap {
  public:
    // Start Protocol opened the port; the start command follows.
    virtual void LinkOpened(const std::string& port, const std::string& devicePath, int baud) = 0;
    virtual void CashBoxChanged(bool ticked) = 0;
    // The latest completed frame of a receive event, about to be applied, and what the window
    // reads in it with its state.
    virtual void FrameApplied(const mv62::DeviceFrame& frame,
                              const mv62::FrameReading& reading) = 0;
    // The EEPROM raw dump: received bytes go to the dump, not to the frame assembler.
    virtual void RawDumpChanged(bool on) = 0;
    // The unit's serial number, given (typed or scanned) for the run the press that follows starts.
    virtual void UnitSerialGiven(const QString& serial) = 0;
    virtual void AutoTestPressed() = 0;
    virtual void CalibrationPressed() = 0;
    virtual void CalibrationExitPressed() = 0;  // 退出
    virtual void EndProtocolPressed() = 0;      // after the port was closed
    virtual void ExitPressed() = 0;
    virtual void PortLost() = 0;

    // The observer of a station that does not record.
    static StationObserver& None();
};

namespace detail {
class NoObserver final : public StationObserver {
  public:
    void Written(std::span<const std::uint8_t>, bool) override {}
    void Read(std::span<const std::uint8_t>) override {}
    void InputDiscarded(std::uint32_t) override {}
    void ReceiveEventStarted() override {}
    void ReceiveEventEnded() override {}
    void LinkOpened(const std::string&, const std::string&, int) override {}
    void CashBoxChanged(bool) override {}
    void FrameApplied(const mv62::DeviceFrame&, const mv62::FrameReading&) override {}
    void RawDumpChanged(bool) override {}
    void UnitSerialGiven(const QString&) override {}
    void AutoTestPressed() override {}
    void CalibrationPressed() override {}
    void CalibrationExitPressed() override {}
    void EndProtocolPressed() override {}
    void ExitPressed() override {}
    void PortLost() override {}
};
}  // namespace detail

inline StationObserver& StationObserver::None() {
    static detail::NoObserver none;
    return none;
}

}  // namespace mv62rec
