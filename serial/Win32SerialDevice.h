#pragma once
// Serial port on Windows: a COM device opened exclusively with CreateFileA and driven by the
// communications functions (DCB line settings, ClearCommError, EscapeCommFunction), with
// synchronous reads and writes. The Windows header stays in the .cpp; the handle is kept as a
// plain pointer so that this header can be included anywhere.
#include <cstdint>
#include <string>

#include "SerialDevice.h"

class Win32SerialDevice : public SerialDevice {
  public:
    Win32SerialDevice() = default;
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;
    ~Win32SerialDevice() override;

    bool Open(const std::string& path, SerialOpenError& error) override;
    bool IsOpen() const override { return handle_ != nullptr; }
    void Close() override;
    bool SetQueueSizes(int input, int output) override;
    void PurgeAll() override;
    void PurgeInput() override;
    bool ApplySettings(const SerialLineSettings& s) override;
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    bool QueryStatus(std::uint32_t& bytesWaiting, std::uint32_t& errorFlags) override;
    bool QueryModemStatus(std::uint32_t& lines) override;
    int Read(std::uint8_t* buffer, int n) override;
    bool Write(const std::uint8_t* data, int n) override;
    bool Disconnected() const override { return disconnected_; }

    // How long a write may make no progress (output held back by flow control) before it fails.
    static constexpr int kWriteStallMs = 5000;

  private:
    void NoteFailure(unsigned long code);

    void* handle_ = nullptr;     // the port's HANDLE while open
    void* portGuard_ = nullptr;  // named mutex that marks the port as taken, see Open
    bool disconnected_ = false;
    // The DTR and RTS levels asked for, so that rewriting the line settings keeps them.
    bool dtrOn_ = false;
    bool rtsOn_ = false;
};
