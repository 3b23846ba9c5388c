#pragma once
// A listener on a serial component's line: every block of bytes it writes and every block a read
// takes off the port, as they happen. It only watches; it cannot change what goes over the line.
#include <cstdint>
#include <span>

class LineTap {
  public:
    virtual ~LineTap() = default;
    // Bytes handed to the port in one write call; `ok` is that write's result.
    virtual void Written(std::span<const std::uint8_t> bytes, bool ok) = 0;
    // The block one read took off the port.
    virtual void Read(std::span<const std::uint8_t> block) = 0;
    // More bytes waited than the receive buffer holds: the port's input queue was discarded.
    virtual void InputDiscarded(std::uint32_t waiting) = 0;
    // The component raises its receive event, and the event's handler has returned. Events can
    // nest: a handler that lets the message queue run can meet the next tick's event.
    virtual void ReceiveEventStarted() = 0;
    virtual void ReceiveEventEnded() = 0;
};
