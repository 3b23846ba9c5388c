#include "sim/LinePacer.h"

#include <algorithm>

namespace mv62sim {

namespace {
constexpr long long kBitsPerByte = 11;  // start bit, 8 data bits, parity bit, stop bit
}

LinePacer::LinePacer(int baud) {
    const long long bytesPerSecond = std::max(1LL, baud / kBitsPerByte);
    byteTime_ = SimTime{(kBitsPerByte * 1'000'000 + baud - 1) / baud};
    // Chunks of about 4 ms of line time keep the number of wake-ups low.
    chunk_ = static_cast<std::size_t>(std::clamp(bytesPerSecond / 250, 1LL, 64LL));
    maxBacklog_ = static_cast<std::size_t>(std::max(1024LL, 2 * bytesPerSecond));
}

std::size_t LinePacer::Queue(Bytes bytes, SimTime now, SimTime gap) {
    if (queue_.empty()) {
        // An idle line gives no credit for the time it was idle.
        next_ = std::max(next_, now);
    }
    backlog_ += bytes.size();
    queue_.push_back(Segment{std::move(bytes), 0, gap});

    std::size_t dropped = 0;
    for (auto it = queue_.begin(); backlog_ > maxBacklog_ && it != queue_.end();) {
        if (it->sent == 0) {
            backlog_ -= it->bytes.size();
            dropped += it->bytes.size();
            it = queue_.erase(it);
        } else {
            ++it;
        }
    }
    return dropped;
}

std::span<const std::uint8_t> LinePacer::Due(SimTime now) {
    if (queue_.empty()) {
        return {};
    }
    Segment& head = queue_.front();
    next_ += head.gap;
    head.gap = SimTime{};
    const std::size_t remaining = head.bytes.size() - head.sent;
    // After a stall (a late wake-up, a full kernel buffer) go on at line speed, no faster.
    next_ = std::max(next_, now - static_cast<SimTime::rep>(chunk_ - 1) * byteTime_);
    if (next_ > now) {
        return {};
    }
    const auto due = static_cast<std::size_t>((now - next_) / byteTime_) + 1;
    const std::size_t n = std::min({due, chunk_, remaining});
    return std::span<const std::uint8_t>(head.bytes).subspan(head.sent, n);
}

void LinePacer::Sent(std::size_t count) {
    if (queue_.empty() || count == 0) {
        return;
    }
    Segment& head = queue_.front();
    count = std::min(count, head.bytes.size() - head.sent);
    head.sent += count;
    backlog_ -= count;
    next_ += static_cast<SimTime::rep>(count) * byteTime_;
    if (head.sent == head.bytes.size()) {
        queue_.pop_front();
    }
}

std::size_t LinePacer::DropUnstarted() {
    std::size_t dropped = 0;
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (it->sent == 0) {
            dropped += it->bytes.size();
            it = queue_.erase(it);
        } else {
            ++it;
        }
    }
    backlog_ -= dropped;
    return dropped;
}

std::optional<SimTime> LinePacer::NextSendTime() const {
    if (queue_.empty()) {
        return std::nullopt;
    }
    const Segment& head = queue_.front();
    const std::size_t n = std::min(chunk_, head.bytes.size() - head.sent);
    // The chunk goes out when its last byte is due, so no byte leaves early.
    return next_ + head.gap + static_cast<SimTime::rep>(n - 1) * byteTime_;
}

LineFaults::LineFaults(bool noise, bool split, std::uint32_t seed)
    : noise_(noise), split_(split), random_(seed) {}

std::vector<LineFaults::Piece> LineFaults::Shape(const Bytes& bytes, bool framed) {
    std::vector<Piece> pieces;
    if (noise_ && framed) {
        Bytes junk(std::uniform_int_distribution<int>(1, 4)(random_));
        for (auto& b : junk) {
            const int v = std::uniform_int_distribution<int>(0, 254)(random_);
            b = static_cast<std::uint8_t>(v >= mv62::kHeaderStart ? v + 1 : v);
        }
        pieces.push_back(Piece{std::move(junk), SimTime{}});
    }
    if (!split_) {
        pieces.push_back(Piece{bytes, SimTime{}});
        return pieces;
    }
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto size =
            static_cast<std::size_t>(std::uniform_int_distribution<int>(1, 12)(random_));
        const std::size_t end = std::min(bytes.size(), at + size);
        SimTime gap{};
        if (at > 0) {
            gap = std::chrono::milliseconds(std::uniform_int_distribution<int>(1, 10)(random_));
        }
        pieces.push_back(Piece{Bytes(bytes.begin() + at, bytes.begin() + end), gap});
        at = end;
    }
    return pieces;
}

}  // namespace mv62sim
