#include "Comm.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>

#include "PortNames.h"
#include "SerialErrors.h"
#include "Vocabulary.h"

namespace {

// CommEvent values of the modem lines.
constexpr std::uint32_t kEventCts = 0x08;
constexpr std::uint32_t kEventDsr = 0x10;
constexpr std::uint32_t kEventCarrier = 0x20;
constexpr std::uint32_t kEventRing = 0x100;

// Stores a new property value; true when it differed from the stored one.
template <typename T>
bool StoreChanged(T& stored, T value) {
    if (stored == value)
        return false;
    stored = value;
    return true;
}

}  // namespace

TComm::TComm(QObject* owner, int portSelectorIndex, int speedSelectorIndex, DeviceFactory factory)
    : QObject(owner), factory_(std::move(factory)) {
    // A coarse timer may fire 5 % early or late; the polling period is meant as 100 ms.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kPollIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &TComm::ProcTimer);
    ProcessMessages = [] { QCoreApplication::processEvents(); };

    if (portSelectorIndex >= 0 && portSelectorIndex < kPortCount) {
        commPort_ = static_cast<TComPortNumber>(portSelectorIndex);
    }
    baudRate_ = mv62::LineSpeedForIndex(speedSelectorIndex);  // 0 (unset) without an item
}

TComm::~TComm() {
    // A port left open by the owner is closed here, so the device is released with the component.
    timer_.stop();
    CloseComm();
}

void TComm::SetCommPort(TComPortNumber v) {
    commPort_ = v;  // takes effect at the next open
}

void TComm::SetBaudRate(TBaudRate v) {
    if (StoreChanged(baudRate_, v) && device_)
        _SetCommState();
}

THwHandShaking TComm::GetHwHandShaking() const {
    return hwHandShaking_;
}

void TComm::SetHwHandShaking(THwHandShaking v) {
    if (StoreChanged(hwHandShaking_, v) && device_)
        _SetCommState();
}

TSwHandShaking TComm::GetSwHandShaking() const {
    return swHandShaking_;
}

void TComm::SetSwHandShaking(TSwHandShaking v) {
    if (StoreChanged(swHandShaking_, v) && device_)
        _SetCommState();
}

void TComm::SetDataBits(TDataBits v) {
    if (StoreChanged(dataBits_, v) && device_)
        _SetCommState();
}

void TComm::SetParity(TParity v) {
    if (StoreChanged(parity_, v) && device_)
        _SetCommState();
}

void TComm::SetStopBits(TStopBits v) {
    if (StoreChanged(stopBits_, v) && device_)
        _SetCommState();
}

void TComm::SetInputLen(int v) {
    // A read never asks for more than the receive buffer holds.
    inputLen_ = std::clamp(v, 0, kReceiveBufferSize);
}

void TComm::SetRThreshold(int v) {
    rThreshold_ = v;
}

bool TComm::GetDTRStatus() const {
    return dtrState_;
}

void TComm::SetDTRStatus(bool on) {
    dtrState_ = on;
    if (device_)
        device_->SetDtr(on);
}

bool TComm::GetRTSStatus() const {
    return rtsState_;
}

void TComm::SetRTSStatus(bool on) {
    rtsState_ = on;
    if (device_)
        device_->SetRts(on);
}

void TComm::SetInDataCount(std::uint32_t v) {
    if (v == 0 && device_)
        device_->PurgeInput();
}

std::uint32_t TComm::ReadInDataCount() {
    std::uint32_t waiting = 0;
    std::uint32_t errors = 0;
    if (!device_ || !device_->QueryStatus(waiting, errors))
        return 0;
    return waiting;
}

std::string TComm::PortName() const {
    return ::PortName(commPort_);
}

std::string TComm::OpenErrorText() const {
    return PortOpenErrorText(PortName(), devicePath_, openError_, ListSerialDevices());
}

void TComm::SetPortOpen(bool open) {
    timer_.stop();
    if (open) {
        if (!portOpen_)
            OpenComm();
    } else {
        CloseComm();
    }
}

void TComm::OpenComm() {
    // Opening again releases the handle held so far instead of leaking it.
    CloseComm();

    devicePath_ = SerialDevicePathFor(commPort_ + 1);
    openError_ = {};
    std::unique_ptr<SerialDevice> device = factory_ ? factory_() : nullptr;
    if (!device) {
        openError_.kind = SerialOpenFailure::Other;
        openError_.reason = "no serial device available";
        return;
    }
    // A port that cannot be opened leaves the component closed, with the reason kept for the owner.
    if (!device->Open(devicePath_, openError_)) {
        if (openError_.kind == SerialOpenFailure::None)
            openError_.kind = SerialOpenFailure::Other;
        if (openError_.reason.empty())
            openError_.reason = std::strerror(openError_.errorNumber);
        return;
    }

    device->SetQueueSizes(kQueueSize, kQueueSize);
    device_ = std::move(device);
    device_->PurgeAll();
    _SetCommState();

    dtrState_ = true;
    device_->SetDtr(true);
    device_->SetRts(rtsState_);

    portOpen_ = true;
    disconnectReported_ = false;
    timer_.start();
}

bool TComm::_SetCommState() {
    if (!device_)
        return false;
    parityCheck_ = parity_ != None;

    SerialLineSettings s;
    s.baudRate = baudRate_;
    s.parity = parity_;
    // Received bytes are never checked for parity; the parity bit is still sent.
    s.checkParity = false;
    s.rtsOn = hwHandShaking_ == hhNoneRTSON;
    s.rtsHandshake = hwHandShaking_ == hhRTSCTS;
    s.xonXoff = swHandShaking_ == shXonXoff;
    s.dataBits = dataBits_;
    s.stopBits = stopBits_;
    return device_->ApplySettings(s);
}

void TComm::CloseComm() {
    if (!device_)
        return;
    device_->Close();
    portOpen_ = false;
    device_.reset();
}

void TComm::ReadProcess() {
    if (!device_)
        return;
    std::uint32_t waiting = 0;
    std::uint32_t errors = 0;
    if (!device_->QueryStatus(waiting, errors)) {
        waiting = 0;
        errors = 0;
    }
    commError_ = errors;
    if (waiting == 0)
        return;

    // More than the receive buffer holds: the whole input queue is dropped.
    if (waiting > static_cast<std::uint32_t>(kReceiveBufferSize)) {
        device_->PurgeInput();
        if (tap_)
            tap_->InputDiscarded(waiting);
        return;
    }
    const int n = inputLen_ != 0 ? inputLen_ : static_cast<int>(waiting);
    // A failed read, or one that returns nothing, keeps the last input block.
    const int got = device_->Read(receiveBuffer_.data(), n);
    if (got <= 0)
        return;

    lastInput_.assign(reinterpret_cast<const char*>(receiveBuffer_.data()), got);
    lastInputBytes_.assign(receiveBuffer_.begin(), receiveBuffer_.begin() + got);
    if (tap_ && got > 0)
        tap_->Read(std::span(receiveBuffer_.data(), static_cast<std::size_t>(got)));
}

std::string TComm::ReadInputData() {
    ReadProcess();
    return lastInput_;
}

std::vector<std::uint8_t> TComm::ReadInputByte() {
    ReadProcess();
    return lastInputBytes_;
}

bool TComm::WriteToPort(const std::uint8_t* data, std::size_t n) {
    const bool ok = device_->Write(data, static_cast<int>(n));
    if (tap_)
        tap_->Written(std::span(data, n), ok);
    return ok;
}

bool TComm::OutputChar(std::uint8_t c) {
    if (!device_)
        return false;
    return WriteToPort(&c, 1);
}

bool TComm::OutputString(const std::string& s) {
    if (!device_)
        return false;
    return WriteToPort(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

bool TComm::OutputStringchar(const char* s) {
    if (!device_)
        return false;
    const std::size_t n = s ? std::strlen(s) : 0;
    return WriteToPort(reinterpret_cast<const std::uint8_t*>(s), n);
}

bool TComm::OutputByte(const std::vector<std::uint8_t>& bytes) {
    if (!device_)
        return false;
    for (const std::uint8_t& b : bytes) {
        // Each byte goes out on its own; a failed byte does not stop the rest.
        WriteToPort(&b, 1);
    }
    return true;
}

void TComm::ProcTimer() {
    if (!device_ || disconnectReported_)
        return;

    std::uint32_t waiting = 0;
    std::uint32_t errors = 0;
    if (!device_->QueryStatus(waiting, errors)) {
        waiting = 0;
        errors = 0;
    }
    if (device_->Disconnected()) {
        ReportDisconnect();
        return;
    }
    commError_ = errors;

    if (rThreshold_ > 0 && waiting >= static_cast<std::uint32_t>(rThreshold_)) {
        if (tap_)
            tap_->ReceiveEventStarted();
        ReceiveData();
        if (tap_)
            tap_->ReceiveEventEnded();
    }
    GetModemState();
    if (ProcessMessages)
        ProcessMessages();
    if (commEvent_ != 0)
        ModemStateChange(commEvent_);
    if (ProcessMessages)
        ProcessMessages();
    if (commError_ != 0)
        ReceiveError(commError_);
    if (ProcessMessages)
        ProcessMessages();
}

void TComm::ReportDisconnect() {
    // The device is gone for good: stop polling it and tell the owner once.
    disconnectReported_ = true;
    timer_.stop();
    if (OnDisconnect)
        OnDisconnect(this);
}

void TComm::GetModemState() {
    std::uint32_t lines = 0;
    if (!device_ || !device_->QueryModemStatus(lines))
        return;

    auto track = [this](bool& holding, bool on, std::uint32_t value) {
        if (on && !holding)
            commEvent_ += value;
        if (!on && holding)
            commEvent_ -= value;
        holding = on;
    };
    track(cdHolding_, (lines & kModemCarrier) != 0, kEventCarrier);
    track(dsrHolding_, (lines & kModemDsr) != 0, kEventDsr);
    track(riHolding_, (lines & kModemRing) != 0, kEventRing);
    track(ctsHolding_, (lines & kModemCts) != 0, kEventCts);
}

void TComm::ReceiveData() {
    if (OnReceiveData)
        OnReceiveData(this);
}

void TComm::ModemStateChange(std::uint32_t mask) {
    if (OnModemStateChange)
        OnModemStateChange(this, mask);
}

void TComm::ReceiveError(std::uint32_t mask) {
    if (OnReceiveError)
        OnReceiveError(this, mask);
}
