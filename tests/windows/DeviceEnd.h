#pragma once
// The far end of a serial line, played by the program that runs these tests under Wine
// (run_under_wine.py) on the master side of the pseudo-terminal a COM port is mapped to.
// A request goes out on standard output as one line "@device PORT COMMAND [ARGUMENT]"; the answer
// comes back on standard input as one line, "ok [VALUE]" or "error TEXT".
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class DeviceEnd {
  public:
    // True when a device end answers (MV62_DEVICE_END is set by the runner).
    static bool Available();

    explicit DeviceEnd(std::string port) : port_(std::move(port)) {}

    // The line settings the pseudo-terminal carries, read with tcgetattr: speed (in baud), csize,
    // cstopb, parenb, crtscts, ixon, ixoff, icanon, echo, opost.
    std::map<std::string, long> LineSettings();
    // The device sends these bytes.
    bool Send(const Bytes& bytes);
    // The next n bytes the device received from the port (fewer if they do not come).
    Bytes Received(std::size_t n);
    // The device stops reading: what the port sends backs up.
    bool Hold();
    // The device end goes away: its side of the line is closed.
    bool Hangup();

  private:
    std::optional<std::string> Ask(const std::string& command);
    std::string port_;
};

std::string ToHex(const Bytes& bytes);
Bytes FromHex(const std::string& hex);
