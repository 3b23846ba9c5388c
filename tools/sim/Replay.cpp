#include "sim/Replay.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <nlohmann/json.hpp>
#include <utility>

namespace mv62sim {

namespace {

constexpr char kJournalSchema[] = "mv62-journal/1";

// "55 AA 07" to its bytes; nothing when it is not hexadecimal pairs.
std::optional<Bytes> FromHex(const std::string& text) {
    Bytes bytes;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return bytes;
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
    const auto it = event.find("ms");
    // The parser keeps a whole number of 0 and up as unsigned: negatives and fractions are not.
    if (it == event.end() || !it->is_number_unsigned() ||
        it->get<std::uint64_t>() > std::uint64_t(kYearMs)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(it->get<std::uint64_t>());
}

}  // namespace

bool ReplayDevice::Load(const std::string& path, int baud, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the journal " + path;
        return false;
    }
    // One byte's time on the line at 8E1: 11 bits.
    const SimTime byteTime{11'000'000 / std::max(baud, 1)};
    std::vector<Block>* answer = nullptr;  // the answer of the last command read
    std::int64_t commandMs = 0;
    bool first = true;
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) {
            ++cutLines_;  // no newline: cut off by a killed station
            break;
        }
        const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        const bool object = !event.is_discarded() && event.is_object();
        if (std::exchange(first, false) && (!object || TextField(event, "event") != "link_opened" ||
                                            TextField(event, "schema") != kJournalSchema)) {
            error = path + " is not a session journal of schema " + kJournalSchema;
            return false;
        }
        if (!object) {
            ++cutLines_;
            continue;
        }
        const std::string kind = TextField(event, "event");
        const std::optional<std::int64_t> stamp = MillisecondsField(event);
        if ((kind != "tx" && kind != "rx") || !stamp) {
            continue;
        }
        const std::optional<Bytes> bytes = FromHex(TextField(event, "bytes"));
        if (!bytes || bytes->empty()) {
            continue;
        }
        const std::int64_t ms = *stamp;
        if (kind == "tx") {
            if (FlagField(event, "garbage")) {
                continue;  // not a command: what follows still answers the one before
            }
            auto& queue = answers_[HexBytes(*bytes)];
            queue.emplace_back();
            answer = &queue.back();
            commandMs = ms;
            ++commands_;
        } else if (answer == nullptr) {
            ++unplayed_;
        } else {
            // Received when its last byte was in: it went on the line its own length earlier.
            SimTime after = std::chrono::milliseconds(ms - commandMs) -
                            byteTime * static_cast<std::int64_t>(bytes->size());
            after = std::max(after, answer->empty() ? SimTime{} : answer->back().after);
            answer->push_back({after, *bytes});
        }
    }
    if (first) {
        error = path + " holds no complete line";
        return false;
    }
    return true;
}

std::vector<std::string> ReplayDevice::Receive(const Bytes& command, SimTime now) {
    const auto it = answers_.find(HexBytes(command));
    if (it == answers_.end()) {
        return {"not in the journal: no answer"};
    }
    if (it->second.empty()) {
        return {"the journal holds no more answers to it: no answer"};
    }
    std::vector<Block> answer = std::move(it->second.front());
    it->second.pop_front();
    std::size_t bytes = 0;
    for (Block& b : answer) {
        bytes += b.bytes.size();
        Emission e;
        e.at = now + b.after;
        e.bytes = std::move(b.bytes);
        e.framed = false;
        e.routine = true;  // logged with --verbose only
        e.what = "replayed " + HexBytes(e.bytes);
        // Kept in time order with what earlier commands still have to play.
        const auto place = std::upper_bound(due_.begin(), due_.end(), e.at,
                                            [](SimTime t, const Emission& x) { return t < x.at; });
        due_.insert(place, std::move(e));
    }
    const auto span = answer.empty() ? SimTime{} : answer.back().after;
    return {"replay: " + std::to_string(answer.size()) + " block(s), " + std::to_string(bytes) +
            " bytes over " + std::to_string(span.count() / 1000) + " ms"};
}

std::vector<Emission> ReplayDevice::TakeDue(SimTime now) {
    std::vector<Emission> out;
    while (!due_.empty() && due_.front().at <= now) {
        out.push_back(std::move(due_.front()));
        due_.pop_front();
    }
    return out;
}

std::optional<SimTime> ReplayDevice::NextDue() const {
    if (due_.empty()) {
        return std::nullopt;
    }
    return due_.front().at;
}

}  // namespace mv62sim
