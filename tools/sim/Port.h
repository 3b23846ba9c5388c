#pragma once
// The simulator's end of the serial line: the master side of a pseudo-terminal, whose other side
// the station opens as its serial port, or a real serial device.
#include <memory>
#include <string>

namespace mv62sim {

class SimPort {
  public:
    // Opens a pseudo-terminal in raw mode at `baud`. On failure returns null and says why.
    static std::unique_ptr<SimPort> OpenPseudoTerminal(int baud, std::string& error);
    // Opens a serial device, raw, 8 data bits, even parity, 1 stop bit at `baud`.
    static std::unique_ptr<SimPort> OpenSerialDevice(const std::string& path, int baud,
                                                     std::string& error);
    ~SimPort();
    SimPort(const SimPort&) = delete;
    SimPort& operator=(const SimPort&) = delete;

    int Fd() const { return fd_; }
    // The path the station opens.
    const std::string& DevicePath() const { return path_; }

    // Called now and then: once the station has closed a port it had marked for exclusive use,
    // take the mark off again so that its next Start Protocol can open the port (see Port.cpp).
    // Returns true when it did.
    bool ReleaseExclusiveUseAfterClose();

  private:
    SimPort() = default;

    int fd_ = -1;      // pseudo-terminal master, or the serial device
    int holdFd_ = -1;  // our own hold on the pseudo-terminal's station side
    std::string path_;
    int unlockedChecks_ = 0;
};

// The --link symbolic link: made at start, removed at exit if it still points to our device.
class DeviceLink {
  public:
    // Makes `linkPath` point to `target`, replacing an old link there (never a file).
    bool Create(const std::string& linkPath, const std::string& target, std::string& error);
    ~DeviceLink();

  private:
    std::string link_;
    std::string target_;
};

}  // namespace mv62sim
