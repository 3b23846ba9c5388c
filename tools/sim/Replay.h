#pragma once
// The device side of a recorded session: what the unit sent after each host command, as the
// station's session journal holds it, played back to the same commands with the same spacing.
#include <deque>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/CommandDecoder.h"
#include "sim/DeviceModel.h"

namespace mv62sim {

class ReplayDevice {
  public:
    // Reads through the journal's complete lines and notes where each command's answer lies in
    // it; false with the reason when it is not a regular file that can be read, or not a session
    // journal. The blocks themselves are read when they are played, so that a journal of any
    // size takes little memory. `baud` is the line speed the blocks are played at: a block is
    // handed to the line early by its own time on the line, so that it arrives when it was
    // recorded.
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
    // An answer in the journal: the blocks after a command up to the next one.
    struct Answer {
        std::streamoff from = 0;  // the line after the command's
        std::int64_t commandMs = 0;
        std::size_t blocks = 0;
        std::size_t bytes = 0;
        SimTime span{};  // from the command to its last block
    };
    // An answer being played: its next block, read when the one before has gone out.
    struct Playing {
        std::streamoff at = 0;  // where reading goes on
        std::int64_t commandMs = 0;
        SimTime heard{};      // when its command was heard
        SimTime lastAfter{};  // the time of the block before, after the command
        std::optional<Emission> next;
    };
    // Reads the playing answer's next block into `next`; none at the answer's end.
    void ReadNext(Playing& playing);

    std::ifstream journal_;
    std::vector<char> line_;  // the one buffer lines are read into
    SimTime byteTime_{};      // one byte's time on the line
    // Per command (its bytes in hexadecimal), the answers in recorded order.
    std::map<std::string, std::deque<Answer>> answers_;
    std::vector<Playing> playing_;  // in the order their commands were heard
    std::size_t commands_ = 0;
    std::size_t unplayed_ = 0;
    int cutLines_ = 0;
};

}  // namespace mv62sim
