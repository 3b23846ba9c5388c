// mv62-sim: an MV62 on a pseudo-terminal (or a real serial port) for trying and testing the
// calibration station without a device. The device itself is the pure DeviceModel; this file
// is only the line: read, decode, let the model answer, pace the answers out, log.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Replies.h"
#include "TerminalText.h"
#include "sim/CommandDecoder.h"
#include "sim/DeviceModel.h"
#include "sim/LinePacer.h"
#include "sim/Options.h"
#include "sim/Port.h"
#include "sim/Replay.h"

using namespace mv62sim;

namespace {

volatile sig_atomic_t g_stopSignal = 0;

// Bytes a streaming device lets wait in its transmitter before it skips a sensor frame: four
// frames, enough to keep the line busy between two wake-ups of the simulator.
constexpr std::size_t kStreamBacklog = 4 * mv62::sensor_layout::kLength;

void OnStopSignal(int signal) {
    g_stopSignal = signal;
}

// The log quotes texts from outside (--ident, a journal's path): shown, never sent as controls.
void Log(const std::string& line) {
    std::fprintf(stderr, "mv62-sim: %s\n", mv62rec::TerminalText(line).c_str());
}

// How often the loop looks after the port when nothing else wakes it.
constexpr SimTime kHousekeeping = std::chrono::milliseconds(100);

class Simulator {
  public:
    Simulator(const SimOptions& options, SimPort& port, ReplayDevice* replay)
        : options_(options),
          replay_(replay),
          port_(port),
          model_(options.device),
          pacer_(options.baud),
          faults_(options.noise, options.split, options.seed),
          start_(std::chrono::steady_clock::now()) {}

    // Runs until a stop signal, the --exit-after time, or a failed line. Returns the exit code.
    int Run(const sigset_t& waitMask);

  private:
    SimTime Now() const {
        return std::chrono::duration_cast<SimTime>(std::chrono::steady_clock::now() - start_);
    }
    void HandleInput(SimTime now);
    void HandOutDue(SimTime now);
    bool WriteDue(SimTime now);  // false when the line failed

    const SimOptions& options_;
    ReplayDevice* replay_;  // plays a journal instead of the device model
    SimPort& port_;
    DeviceModel model_;
    CommandDecoder decoder_;
    LinePacer pacer_;
    LineFaults faults_;
    std::chrono::steady_clock::time_point start_;
    bool writeBlocked_ = false;  // the other side's buffer is full: wait until it takes more
    bool lineFailed_ = false;
    std::size_t droppedSinceLog_ = 0;
    SimTime nextDropLog_{};
};

int Simulator::Run(const sigset_t& waitMask) {
    std::optional<SimTime> exitAt;
    if (options_.exitAfterSeconds) {
        exitAt = std::chrono::duration_cast<SimTime>(
            std::chrono::duration<double>(*options_.exitAfterSeconds));
    }
    SimTime nextHousekeeping = kHousekeeping;
    while (g_stopSignal == 0 && !lineFailed_) {
        SimTime now = Now();
        if (exitAt && now >= *exitAt) {
            Log("--exit-after time is up");
            break;
        }
        HandOutDue(now);
        if (!WriteDue(now)) {
            return 1;
        }
        if (now >= nextHousekeeping) {
            if (port_.ReleaseExclusiveUseAfterClose()) {
                Log("port closed by the station; exclusive-use mark taken off for its reopening");
            }
            nextHousekeeping = now + kHousekeeping;
        }

        SimTime wake = nextHousekeeping;
        for (auto t : {replay_ ? replay_->NextDue() : model_.NextDue(),
                       writeBlocked_ ? std::nullopt : pacer_.NextSendTime(), exitAt}) {
            if (t) {
                wake = std::min(wake, *t);
            }
        }
        const auto wait = std::max(SimTime{}, wake - now);
        const timespec timeout{static_cast<time_t>(wait.count() / 1'000'000),
                               static_cast<long>(wait.count() % 1'000'000) * 1000};
        pollfd pfd{port_.Fd(), static_cast<short>(POLLIN | (writeBlocked_ ? POLLOUT : 0)), 0};
        // Stop signals are blocked except while waiting here, so none slips by unnoticed.
        const int ready = ppoll(&pfd, 1, &timeout, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            Log(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (pfd.revents & POLLOUT) {
            writeBlocked_ = false;
        }
        if (pfd.revents & (POLLIN | POLLHUP | POLLERR)) {
            HandleInput(Now());
        }
    }
    if (g_stopSignal != 0) {
        Log(std::string("stopped by ") + strsignal(g_stopSignal));
    }
    return lineFailed_ ? 1 : 0;
}

void Simulator::HandleInput(SimTime now) {
    std::uint8_t buffer[512];
    const ssize_t n = read(port_.Fd(), buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (n <= 0) {
        Log(n == 0 ? "line closed" : std::string("line failed: ") + std::strerror(errno));
        lineFailed_ = true;
        return;
    }
    for (const DecodedItem& item :
         decoder_.Feed(std::span(buffer, static_cast<std::size_t>(n)), now)) {
        if (item.kind == DecodedItem::Kind::Garbage) {
            Log("rx " + HexBytes(item.bytes) + " (skipped: not a command)");
            continue;
        }
        Log(CommandLogLine(item.command));
        if (replay_) {
            for (const std::string& note : replay_->Receive(item.bytes, now)) {
                Log("  " + note);
            }
            continue;
        }
        for (const std::string& note : model_.Receive(item.command, now)) {
            Log("  " + note);
        }
        if (model_.IsHeardStop(item.command)) {
            if (const std::size_t dropped = pacer_.DropUnstarted(); dropped > 0) {
                Log("  " + std::to_string(dropped) + " bytes not yet sent dropped");
            }
        }
    }
}

void Simulator::HandOutDue(SimTime now) {
    for (const Emission& e : replay_ ? replay_->TakeDue(now) : model_.TakeDue(now)) {
        // A streaming device writes its next sensor frame when its transmitter has room, so a
        // stream never outruns the line: a frame due while the line is still busy is skipped.
        if (options_.device.stream && e.routine && e.bytes.size() > 2 &&
            e.bytes[2] == mv62::reply::SensorFrame && pacer_.Backlog() >= kStreamBacklog) {
            continue;
        }
        if (options_.verbose || !e.routine) {
            Log("tx " + e.what);
        }
        for (LineFaults::Piece& piece : faults_.Shape(e.bytes, e.framed)) {
            droppedSinceLog_ += pacer_.Queue(std::move(piece.bytes), now, piece.gap);
        }
    }
    if (droppedSinceLog_ > 0 && now >= nextDropLog_) {
        nextDropLog_ = now + std::chrono::seconds(1);  // at most one such line a second
        // The line cannot carry what the device sends (nobody reads the port, or --split
        // pauses slow a stream down): the oldest unsent bytes are lost.
        Log("output backlog full: " + std::to_string(droppedSinceLog_) + " bytes dropped");
        droppedSinceLog_ = 0;
    }
}

bool Simulator::WriteDue(SimTime now) {
    while (!writeBlocked_) {
        const auto chunk = pacer_.Due(now);
        if (chunk.empty()) {
            return true;
        }
        const ssize_t n = write(port_.Fd(), chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                writeBlocked_ = errno == EAGAIN;
                continue;
            }
            Log(std::string("write failed: ") + std::strerror(errno));
            return false;
        }
        pacer_.Sent(static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < chunk.size()) {
            writeBlocked_ = true;
        }
    }
    return true;
}

std::string Summary(const SimOptions& o) {
    const DeviceConfig& d = o.device;
    std::string s = std::to_string(o.baud) + " baud, \"" + d.ident + "\", offset " +
                    std::to_string(d.sensorOffset) + ", motor count " +
                    std::to_string(d.motorCount);
    for (Fault f : d.faults) {
        s += ", fail " + std::string(FaultName(f));
    }
    for (std::uint8_t code : d.silent) {
        s += ", silent " + HexBytes(std::array{code});
    }
    if (o.noise) {
        s += ", noise";
    }
    if (o.split) {
        s += ", split";
    }
    if (d.stream) {
        s += ", stream";
    }
    if (o.noise || o.split) {
        s += ", seed " + std::to_string(o.seed);
    }
    if (d.population.enabled) {
        s += "; " + DescribePopulation(d.population);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    SimOptions options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        Log(error + " (see --help)");
        return 2;
    }
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("mv62-sim %s\n", MV62_VERSION);
        return 0;
    }

    // Stop signals are handled in the loop's wait only (see ppoll there).
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, s);
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigaction(s, &action, nullptr);
    }
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigdelset(&waitMask, s);
    }
    signal(SIGPIPE, SIG_IGN);

    // The journal is read before the port is opened: a journal that cannot be played is said
    // before the station could connect.
    std::optional<ReplayDevice> replay;
    if (!options.replayPath.empty()) {
        replay.emplace();
        if (!replay->Load(options.replayPath, options.baud, error)) {
            Log(error);
            return 1;
        }
    }
    auto port = options.devicePath.empty()
                    ? SimPort::OpenPseudoTerminal(options.baud, error)
                    : SimPort::OpenSerialDevice(options.devicePath, options.baud, error);
    if (!port) {
        Log(error);
        return 1;
    }
    DeviceLink link;
    if (!options.linkPath.empty()) {
        if (!link.Create(options.linkPath, port->DevicePath(), error)) {
            Log(error);
            return 1;
        }
        Log("link " + options.linkPath + " -> " + port->DevicePath());
    }
    // Once this line is out, the device (and its link) can be opened.
    std::printf("mv62-sim: device %s\n", port->DevicePath().c_str());
    std::fflush(stdout);
    if (replay) {
        Log("replaying " + options.replayPath + ": answers to " +
            std::to_string(replay->CommandCount()) + " commands");
        if (replay->CutLines() > 0) {
            Log("note: " + std::to_string(replay->CutLines()) +
                " line(s) of the journal cut off or not JSON; the complete lines are played");
        }
        if (replay->UnplayedBlocks() > 0) {
            Log("note: " + std::to_string(replay->UnplayedBlocks()) +
                " block(s) received before the first command are not played");
        }
    } else {
        Log(Summary(options));
    }
    if (!replay && MakeSensorSample(options.device, 0).clipped) {
        Log("note: with offset " + std::to_string(options.device.sensorOffset) +
            " the sensor targets are out of reach; sensor frames will not pass");
    }

    Simulator simulator(options, *port, replay ? &*replay : nullptr);
    return simulator.Run(waitMask);
}
