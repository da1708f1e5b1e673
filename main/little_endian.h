// 16-bit values stored low byte first, as the PCX header, the AMSDOS header and the
// Z80 keep them. The caller has checked that both bytes lie inside `bytes`.
#pragma once

#include "main/program_state.h"

#include <cstdint>
#include <span>

namespace varnoke {

inline std::uint16_t readLittleEndian16(std::span<const Byte> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

inline void writeLittleEndian16(std::span<Byte> bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<Byte>(value & 0xFF);
    bytes[offset + 1] = static_cast<Byte>(value >> 8);
}

}  // namespace varnoke
