#pragma once
// The device side of a recorded session: what the unit sent after each host command, as the
// station's session journal holds it, played back to the same commands with the same spacing.
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/CommandDecoder.h"
#include "sim/DeviceModel.h"

namespace mv62sim {

class ReplayDevice {
  public:
    // Reads the journal's complete lines; false with the reason when it cannot be read or is not
    // a session journal. `baud` is the line speed the blocks are played at: a block is handed to
    // the line early by its own time on the line, so that it arrives when it was recorded.
    bool Load(const std::string& path, int baud, std::string& error);

    // A host command heard: its next recorded answer is scheduled from `now`. Returns the lines
    // for the log; a command the journal does not hold (or holds no more answers to) gets none.
    std::vector<std::string> Receive(const Bytes& command, SimTime now);
    std::vector<Emission> TakeDue(SimTime now);
    std::optional<SimTime> NextDue() const;

    std::size_t CommandCount() const { return commands_; }
    std::size_t UnplayedBlocks() const { return unplayed_; }  // sent before the first command
    int CutLines() const { return cutLines_; }

  private:
    struct Block {
        SimTime after{};  // since the command was heard
        Bytes bytes;
    };
    // Per command (its bytes in hexadecimal), the answers in recorded order.
    std::map<std::string, std::deque<std::vector<Block>>> answers_;
    std::deque<Emission> due_;  // in time order
    std::size_t commands_ = 0;
    std::size_t unplayed_ = 0;
    int cutLines_ = 0;
};

}  // namespace mv62sim
