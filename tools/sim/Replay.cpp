#include "sim/Replay.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

#include "RecordVocabulary.h"

namespace mv62sim {

namespace {

// No event is this long: a longer line is passed over as not JSON, and never kept whole.
constexpr std::size_t kLongestLine = 1 << 20;

// What a name that is not a regular file stands for, in words.
std::string KindOf(const std::filesystem::file_status& status) {
    switch (status.type()) {
        case std::filesystem::file_type::directory:
            return "a folder";
        case std::filesystem::file_type::fifo:
            return "a FIFO";
        case std::filesystem::file_type::character:
        case std::filesystem::file_type::block:
            return "a device";
        default:
            return "a special file";
    }
}

enum class LineRead { Whole, Cut, TooLong, End };

// The next line of the journal into `buffer` (its length in `length`, without the newline);
// `consumed` counts the bytes read from the file, newline and any part passed over included.
LineRead ReadLine(std::istream& in, std::vector<char>& buffer, std::size_t& length,
                  std::streamoff& consumed) {
    in.getline(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    consumed = static_cast<std::streamoff>(got);
    if (in.eof()) {
        length = got;
        return got > 0 ? LineRead::Cut : LineRead::End;  // no newline: cut off by a killed station
    }
    if (in.fail()) {  // the buffer is full and the line goes on: read past the rest of it
        in.clear();
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        consumed += in.gcount();
        return LineRead::TooLong;
    }
    length = got - 1;
    return LineRead::Whole;
}

// A journal is a file from outside: a field of the wrong type reads as absent, never as a fault.
std::string TextField(const nlohmann::json& event, const char* key) {
    const auto it = event.find(key);
    return it != event.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool FlagField(const nlohmann::json& event, const char* key) {
    const auto it = event.find(key);
    return it != event.end() && it->is_boolean() && it->get<bool>();
}

// Milliseconds since the link opened, within a year of links; nullopt for anything else.
std::optional<std::int64_t> MillisecondsField(const nlohmann::json& event) {
    constexpr std::int64_t kYearMs = 366LL * 24 * 3600 * 1000;
    const auto it = event.find(mv62rec::key::Ms);
    // The parser keeps a whole number of 0 and up as unsigned: negatives and fractions are not.
    if (it == event.end() || !it->is_number_unsigned() ||
        it->get<std::uint64_t>() > std::uint64_t(kYearMs)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(it->get<std::uint64_t>());
}

// What a journal line means to the replay: a command that opens an answer, a block of one, or
// nothing (other events, garbage sent by the station, and lines with fields that do not hold).
struct ReplayLine {
    enum class Kind { Other, Command, Block } kind = Kind::Other;
    std::int64_t ms = 0;
    Bytes bytes;
};

ReplayLine Classify(const nlohmann::json& event) {
    const std::string kind = TextField(event, mv62rec::key::Event);
    const std::optional<std::int64_t> ms = MillisecondsField(event);
    if ((kind != mv62rec::event::Sent && kind != mv62rec::event::Received) || !ms) {
        return {};
    }
    std::optional<Bytes> bytes = mv62::ParseHexBytes(TextField(event, mv62rec::key::Bytes));
    // A garbage tx line is not a command: what follows still answers the one before.
    if (!bytes || bytes->empty() ||
        (kind == mv62rec::event::Sent && FlagField(event, mv62rec::key::Garbage))) {
        return {};
    }
    return {kind == mv62rec::event::Sent ? ReplayLine::Kind::Command : ReplayLine::Kind::Block, *ms,
            std::move(*bytes)};
}

nlohmann::json Parse(LineRead read, const std::vector<char>& buffer, std::size_t length) {
    return read == LineRead::Whole
               ? nlohmann::json::parse(buffer.data(), buffer.data() + length, nullptr, false)
               : nlohmann::json(nlohmann::json::value_t::discarded);
}

}  // namespace

bool ReplayDevice::Load(const std::string& path, int baud, std::string& error) {
    // A FIFO would block the simulator before its device exists, a device could never end.
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (!ec && !std::filesystem::is_regular_file(status)) {
        error = "cannot replay " + path + ": it is " + KindOf(status) + ", not a journal file";
        return false;
    }
    journal_.open(path, std::ios::binary);
    if (ec || !journal_) {
        error = "cannot read the journal " + path;
        return false;
    }
    // One byte's time on the line at 8E1: 11 bits.
    byteTime_ = SimTime{11'000'000 / std::max(baud, 1)};
    line_.resize(kLongestLine + 1);
    Answer* answer = nullptr;  // the answer of the last command read
    bool first = true;
    std::streamoff at = 0;
    for (;;) {
        std::size_t length = 0;
        std::streamoff consumed = 0;
        const LineRead read = ReadLine(journal_, line_, length, consumed);
        at += consumed;
        if (read == LineRead::End || read == LineRead::Cut) {
            cutLines_ += read == LineRead::Cut ? 1 : 0;
            break;
        }
        const nlohmann::json event = Parse(read, line_, length);
        const bool object = !event.is_discarded() && event.is_object();
        if (std::exchange(first, false) &&
            (!object || TextField(event, mv62rec::key::Event) != mv62rec::event::LinkOpened ||
             TextField(event, mv62rec::key::Schema) != mv62rec::schema::Journal)) {
            error = path + " is not a session journal of schema " + mv62rec::schema::Journal;
            return false;
        }
        if (!object) {
            ++cutLines_;
            continue;
        }
        const ReplayLine line = Classify(event);
        if (line.kind == ReplayLine::Kind::Command) {
            answer = &answers_[HexBytes(line.bytes)].emplace_back(Answer{at, line.ms});
            ++commands_;
        } else if (line.kind == ReplayLine::Kind::Block && answer == nullptr) {
            ++unplayed_;
        } else if (line.kind == ReplayLine::Kind::Block) {
            // Received when its last byte was in: it went on the line its own length earlier.
            const SimTime after = std::chrono::milliseconds(line.ms - answer->commandMs) -
                                  byteTime_ * static_cast<std::int64_t>(line.bytes.size());
            answer->span = std::max(after, answer->blocks == 0 ? SimTime{} : answer->span);
            ++answer->blocks;
            answer->bytes += line.bytes.size();
        }
    }
    if (first) {
        error = path + " holds no complete line";
        return false;
    }
    return true;
}

void ReplayDevice::ReadNext(Playing& playing) {
    playing.next.reset();
    journal_.clear();
    journal_.seekg(playing.at);
    for (;;) {
        std::size_t length = 0;
        std::streamoff consumed = 0;
        const LineRead read = ReadLine(journal_, line_, length, consumed);
        playing.at += consumed;
        if (read == LineRead::End || read == LineRead::Cut) {
            return;
        }
        const nlohmann::json event = Parse(read, line_, length);
        if (event.is_discarded() || !event.is_object()) {
            continue;
        }
        ReplayLine line = Classify(event);
        if (line.kind == ReplayLine::Kind::Command) {
            return;  // the next command's answer begins
        }
        if (line.kind == ReplayLine::Kind::Block) {
            const SimTime after = std::chrono::milliseconds(line.ms - playing.commandMs) -
                                  byteTime_ * static_cast<std::int64_t>(line.bytes.size());
            playing.lastAfter = std::max(after, playing.lastAfter);
            Emission e;
            e.at = playing.heard + playing.lastAfter;
            e.what = "replayed " + HexBytes(line.bytes);
            e.bytes = std::move(line.bytes);
            e.framed = false;
            e.routine = true;  // logged with --verbose only
            playing.next = std::move(e);
            return;
        }
    }
}

std::vector<std::string> ReplayDevice::Receive(const Bytes& command, SimTime now) {
    const auto it = answers_.find(HexBytes(command));
    if (it == answers_.end()) {
        return {"not in the journal: no answer"};
    }
    if (it->second.empty()) {
        return {"the journal holds no more answers to it: no answer"};
    }
    const Answer answer = it->second.front();
    it->second.pop_front();
    if (answer.blocks > 0) {
        Playing playing{answer.from, answer.commandMs, now, SimTime{}, std::nullopt};
        ReadNext(playing);
        playing_.push_back(std::move(playing));
    }
    return {"replay: " + std::to_string(answer.blocks) + " block(s), " +
            std::to_string(answer.bytes) + " bytes over " +
            std::to_string(answer.span.count() / 1000) + " ms"};
}

std::vector<Emission> ReplayDevice::TakeDue(SimTime now) {
    std::vector<Emission> out;
    for (;;) {
        // The earliest block of all answers playing; on a tie, the one whose command came first.
        auto earliest = playing_.end();
        for (auto it = playing_.begin(); it != playing_.end(); ++it) {
            if (it->next && (earliest == playing_.end() || it->next->at < earliest->next->at)) {
                earliest = it;
            }
        }
        if (earliest == playing_.end() || earliest->next->at > now) {
            break;
        }
        out.push_back(std::move(*earliest->next));
        ReadNext(*earliest);
        if (!earliest->next) {
            playing_.erase(earliest);
        }
    }
    return out;
}

std::optional<SimTime> ReplayDevice::NextDue() const {
    std::optional<SimTime> due;
    for (const Playing& p : playing_) {
        if (p.next && (!due || p.next->at < *due)) {
            due = p.next->at;
        }
    }
    return due;
}

}  // namespace mv62sim
