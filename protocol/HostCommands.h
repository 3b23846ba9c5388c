#pragma once
// Host commands (host to device): 0x55 0xAA, a command code and a fixed number of parameter bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "Vocabulary.h"

namespace mv62 {

namespace cmd {
inline constexpr std::uint8_t StartLink = 0x00;
inline constexpr std::uint8_t ChannelDac = 0x01;
inline constexpr std::uint8_t SensorRun = 0x02;
inline constexpr std::uint8_t MotorTest = 0x07;
inline constexpr std::uint8_t PulseTest = 0x08;
inline constexpr std::uint8_t FishTest = 0x11;
inline constexpr std::uint8_t EepromTest = 0x12;
inline constexpr std::uint8_t IoTest = 0x13;
inline constexpr std::uint8_t LampTest = 0x14;
inline constexpr std::uint8_t ReadSw1 = 0x15;
inline constexpr std::uint8_t ReadSw2 = 0x16;
inline constexpr std::uint8_t MaintenanceOn = 0x30;
inline constexpr std::uint8_t MaintenanceOff = 0x31;
inline constexpr std::uint8_t MotorPlus = 0x32;
inline constexpr std::uint8_t MotorMinus = 0x33;
inline constexpr std::uint8_t MotorStop = 0x34;
inline constexpr std::uint8_t LedOn = 0x43;
inline constexpr std::uint8_t LedOff = 0x44;
inline constexpr std::uint8_t IrOn = 0x45;
inline constexpr std::uint8_t IrOff = 0x46;
inline constexpr std::uint8_t CashMotorPlus = 0x47;
inline constexpr std::uint8_t CashMotorMinus = 0x48;
inline constexpr std::uint8_t CashMotorStop = 0x49;
inline constexpr std::uint8_t HomePosition = 0x50;
inline constexpr std::uint8_t CountryWrite = 0x51;
inline constexpr std::uint8_t DefaultDac = 0x52;
inline constexpr std::uint8_t EepromFill = 0x53;
inline constexpr std::uint8_t EepromRead = 0x54;
inline constexpr std::uint8_t Stop = 0xED;
}  // namespace cmd

// The lone stop byte of the motor stage, sent without 0x55 0xAA in front.
inline constexpr std::uint8_t kLoneStopByte = 0xED;

// Parameter bytes after the command code: 3 for 0x01 (set DAC), 30 for 0x51 (country mask),
// none for every other code.
std::size_t ParameterCount(std::uint8_t code);
// What the command asks of the device ("motor test"); "unknown command" outside the catalogue.
// The pilot lamp patterns 0x35..0x42 are all "pilot lamp pattern".
std::string_view CommandName(std::uint8_t code);
// The three pilot lamp outputs of a pattern code 0x35..0x39, 0x40..0x42 (bit 2: cb1, bit 1: cb2,
// bit 0: cb3); -1 for any other code.
int LampPatternFromCode(std::uint8_t code);
// Drive output index 0..7 (D1..D8) of a DAC channel number of command 0x01; -1 when unknown.
int DriveIndexForChannel(std::uint8_t channel);

// Device channel numbers of the eight drive channels CH0..CH7 (6 and 7 are not used).
inline constexpr std::array<std::uint8_t, 8> kDriveChannelCodes = {0, 1, 2, 3, 4, 5, 8, 9};

// 55 AA code: every command without parameters.
Bytes PlainCommand(std::uint8_t code);
// 55 AA 01 channel high low.
Bytes ChannelDacCommand(std::uint8_t channel, int value);
// Code of the pilot lamp pattern for the three lamp check boxes (0x35..0x39, 0x40..0x42).
std::uint8_t LampPatternCode(bool red, bool green, bool blue);
// 55 AA 51 and the 30 bytes of the country mask.
Bytes CountryWriteCommand(const CountryMaskBytes& mask);

}  // namespace mv62
