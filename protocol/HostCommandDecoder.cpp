#include "HostCommandDecoder.h"

#include "HostCommands.h"

namespace mv62 {

std::vector<DecodedItem> CommandDecoder::Feed(std::span<const std::uint8_t> bytes, Time now) {
    std::vector<DecodedItem> out;
    if (bytes.empty()) {
        return out;
    }
    if (state_ != State::Idle && now - lastByte_ > kPartialTimeout) {
        // The rest of this command never came: give it up and start afresh.
        garbage_.insert(garbage_.end(), pending_.begin(), pending_.end());
        pending_.clear();
        state_ = State::Idle;
    }
    lastByte_ = now;
    for (std::uint8_t b : bytes) {
        Take(b, out);
    }
    FlushGarbage(out);
    return out;
}

void CommandDecoder::Take(std::uint8_t b, std::vector<DecodedItem>& out) {
    switch (state_) {
        case State::Idle:
            if (b == kHeaderStart) {
                pending_.assign(1, b);
                state_ = State::GotSync1;
            } else if (b == cmd::Stop) {
                FlushGarbage(out);
                DecodedItem item;
                item.command.kind = HostCommand::Kind::LoneStop;
                item.command.code = cmd::Stop;
                item.bytes.assign(1, b);
                out.push_back(std::move(item));
            } else {
                garbage_.push_back(b);
            }
            return;
        case State::GotSync1:
            if (b == kHeaderSecond) {
                pending_.push_back(b);
                state_ = State::GotSync2;
                return;
            }
            // Not a header after all: the 0x55 was noise. Look at this byte afresh; it may be
            // the 0x55 of the real header or a lone stop.
            garbage_.insert(garbage_.end(), pending_.begin(), pending_.end());
            pending_.clear();
            state_ = State::Idle;
            Take(b, out);
            return;
        case State::GotSync2:
            pending_.push_back(b);
            if (ParameterCount(b) == 0) {
                EmitCommand(out);
            } else {
                state_ = State::InParams;
            }
            return;
        case State::InParams:
            pending_.push_back(b);
            if (pending_.size() == 3 + ParameterCount(pending_[2])) {
                EmitCommand(out);
            }
            return;
    }
}

void CommandDecoder::FlushGarbage(std::vector<DecodedItem>& out) {
    if (garbage_.empty()) {
        return;
    }
    DecodedItem item;
    item.kind = DecodedItem::Kind::Garbage;
    item.bytes = std::move(garbage_);
    garbage_.clear();
    out.push_back(std::move(item));
}

void CommandDecoder::EmitCommand(std::vector<DecodedItem>& out) {
    FlushGarbage(out);
    DecodedItem item;
    item.command.kind = HostCommand::Kind::Framed;
    item.command.code = pending_[2];
    item.command.params.assign(pending_.begin() + 3, pending_.end());
    item.bytes = std::move(pending_);
    pending_.clear();
    state_ = State::Idle;
    out.push_back(std::move(item));
}

}  // namespace mv62
