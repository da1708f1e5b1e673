// An Amstrad CPC just complete enough to run the viewer routine that a screen file
// carries: a Z80 (libz80ex) with 64 KB of RAM, the firmware entry SCR SET MODE (&BC0E)
// and the firmware's interrupt handler (&B941) trapped, and the hardware the routine
// touches:
//
//   &7Fxx  gate array: 00xxxxxx selects a pen (bit 4: the border), 01xxxxxx gives the
//          selected pen a colour, 10xxxxxx sets the mode (bits 1-0) and the ROMs
//   &BCxx  CRTC register select, &BDxx CRTC register data
//   &F4xx  PPI port A: the sound chip's data bus; the chip's register 14 reads the
//          keyboard line that port C selects (line 5, bit 7: the space bar, 0 while down);
//          no other register is read
//   &F5xx  PPI port B (input): bit 0 is the frame flyback, 1 during the first 2048
//          T-states of every 79872-T-state frame (50 Hz at 4 MHz)
//   &F6xx  PPI port C (output): bits 7-6 the sound chip's function, bits 3-0 the keyboard line
//   &F7xx  PPI control: a mode set, bit 4 makes port A an input
//
// Interrupts come as on the CPC, 300 times a second; one that arrives while interrupts
// are off waits until they are on. Any other port is recorded as unexpected.
//
// With cpcTiming, the clock runs as the CPC's does: each instruction takes whole
// microseconds (4 T-states each): its T-states rounded up, except where the CPC was
// measured to take longer (IN r,(C) and OUT (C),r 4 us, PUSH 4, EX (SP),HL 6,
// LD (nn),HL and LD HL,(nn) 5, the ED-prefixed LD (nn),rr and LD rr,(nn) 6, DJNZ not
// taken 3, RET cc taken 4). An I/O access happens in the instruction's last microsecond.
// SCR GET MODE (&BC11) is trapped too.
#pragma once

#include <z80ex/z80ex.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace varnoke::test {

class EmulatedCpc {
public:
    static constexpr std::uint64_t kFrame = 79872, kFlyback = 2048, kInterruptPeriod = kFrame / 6;
    // A CALL from BASIC: its stack lies just below &C000, its return address in the firmware.
    static constexpr std::uint16_t kStackTop = 0xBFF0, kReturnAddress = 0xBE80;
    static constexpr std::array<std::uint8_t, 3> kFirmwareInterruptEntry{0xC3, 0x41, 0xB9};  // JP &B941 at &0038

    struct Event {
        int key;  // the mode, the pen (16: the border), the CRTC register, the keyboard line
        std::uint8_t value;
        std::uint64_t time;  // T-states since power-on
    };
    struct Picture {  // memory, pens, mode and display start at one moment
        std::array<std::uint8_t, 0x10000> memory;
        std::array<std::optional<std::uint8_t>, 17> inks;
        int mode;
        std::uint8_t crtcR12;
        std::array<std::uint8_t, 18> crtc;
    };

    std::array<std::uint8_t, 0x10000> memory{};
    std::vector<bool> written = std::vector<bool>(0x10000, false);
    std::uint64_t spaceDownAt = UINT64_MAX;  // the space bar goes down then and stays down
    bool setModeClearsScreen = false;        // SCR SET MODE clears &C000-&FFFF, as the firmware does
    std::vector<Event> modesSet, penColours, crtcWrites, keyboardReads, gateArrayModes;
    std::vector<std::uint16_t> unexpectedPorts;
    int interruptsTaken = 0, firmwareHandlerRuns = 0;
    std::vector<std::uint64_t> firmwareHandlerTimes;
    bool cpcTiming = false;
    std::vector<Event> penSelects;             // gate-array writes that select a pen
    std::optional<Picture> shownWhileWaiting;  // at the first keyboard read

    EmulatedCpc() {
        auto* self = this;
        cpu_ = z80ex_create(
            [](Z80EX_CONTEXT*, Z80EX_WORD a, int, void* cpc) { return static_cast<EmulatedCpc*>(cpc)->memory[a]; },
            self,
            [](Z80EX_CONTEXT*, Z80EX_WORD a, Z80EX_BYTE value, void* cpc) {
                static_cast<EmulatedCpc*>(cpc)->memory[a] = value, static_cast<EmulatedCpc*>(cpc)->written[a] = true;
            },
            self, [](Z80EX_CONTEXT*, Z80EX_WORD port, void* cpc) { return static_cast<EmulatedCpc*>(cpc)->in(port); },
            self,
            [](Z80EX_CONTEXT*, Z80EX_WORD port, Z80EX_BYTE v, void* cpc) {
                static_cast<EmulatedCpc*>(cpc)->out(port, v);
            },
            self, [](Z80EX_CONTEXT*, void*) -> Z80EX_BYTE { return 0xFF; }, self);
        if (!cpu_) throw std::runtime_error("libz80ex could not create a Z80");
        crtc_[1] = 40;     // 40 characters of 2 bytes a line
        crtc_[12] = 0x30;  // screen at &C000
        std::copy(kFirmwareInterruptEntry.begin(), kFirmwareInterruptEntry.end(), memory.begin() + 0x38);
    }
    ~EmulatedCpc() { z80ex_destroy(cpu_); }
    EmulatedCpc(const EmulatedCpc&) = delete;
    EmulatedCpc& operator=(const EmulatedCpc&) = delete;

    void load(std::uint16_t address, std::span<const std::uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), memory.begin() + address);
    }
    bool interruptsEnabled() const { return z80ex_get_reg(cpu_, regIFF1) != 0; }
    bool spaceDown(std::uint64_t time) const { return time >= spaceDownAt; }
    Picture shownNow() const { return {memory, inks_, mode_, crtc_[12], crtc_}; }

    // The addresses written outside the 256 bytes of stack below kStackTop.
    std::vector<std::uint16_t> writesOutsideStack() const {
        std::vector<std::uint16_t> outside;
        for (std::size_t a = 0; a < written.size(); ++a)
            if (written[a] && (a < kStackTop - 0x100u || a >= kStackTop))
                outside.push_back(static_cast<std::uint16_t>(a));
        return outside;
    }

    struct CallResult {
        bool returned = false;
        bool reset = false;  // reached &0000 with interrupts off: the firmware's reset
        std::uint64_t endedAt = 0;
    };
    // As BASIC's CALL: interrupt mode 1, interrupts on, a return address pushed. Runs
    // until the routine returns (reaches that address with the stack as it was before the
    // push) or `budget` T-states have passed.
    CallResult call(std::uint16_t address, std::uint64_t budget) {
        z80ex_set_reg(cpu_, regIM, 1);
        z80ex_set_reg(cpu_, regIFF1, 1);
        z80ex_set_reg(cpu_, regIFF2, 1);
        memory[kStackTop - 2] = kReturnAddress & 0xFF;
        memory[kStackTop - 1] = kReturnAddress >> 8;
        z80ex_set_reg(cpu_, regSP, kStackTop - 2);
        z80ex_set_reg(cpu_, regPC, address);
        CallResult result;
        for (const std::uint64_t start = clock_; clock_ - start < budget;) {
            const auto pc = z80ex_get_reg(cpu_, regPC);
            if (z80ex_last_op_type(cpu_) == 0) {  // between instructions
                if (pc == kReturnAddress && z80ex_get_reg(cpu_, regSP) == kStackTop) {
                    result.returned = true;
                    break;
                }
                if (pc == 0 && z80ex_get_reg(cpu_, regIFF1) == 0) {
                    result.reset = true;
                    break;
                }
                if (pc == 0xBC0E) {  // SCR SET MODE
                    const int a = z80ex_get_reg(cpu_, regAF) >> 8;
                    modesSet.push_back({a, 0, clock_});
                    mode_ = a & 3;
                    if (setModeClearsScreen) std::fill(memory.begin() + 0xC000, memory.end(), std::uint8_t{0});
                } else if (pc == 0xB941) {  // the firmware's handler ends with EI; RET
                    ++firmwareHandlerRuns, firmwareHandlerTimes.push_back(clock_);
                    z80ex_set_reg(cpu_, regIFF1, 1);
                }
                if (pc == 0xBC11) z80ex_set_reg(cpu_, regAF, static_cast<Z80EX_WORD>(mode_ << 8));  // SCR GET MODE
                if (pc == 0xBC0E || pc == 0xB941 || pc == 0xBC11) {
                    returnFromTrap();
                    continue;
                }
            }
            stepStart_ = clock_;
            if (z80ex_last_op_type(cpu_) == 0) {  // an instruction starts (libz80ex steps its prefixes alone)
                instructionStart_ = clock_, instructionTstates_ = 0;
                opcode_ = {memory[pc], memory[static_cast<std::uint16_t>(pc + 1)]};
                // An I/O instruction's T-states are fixed: 12 for the ED forms, 11 for IN A,(n) and OUT (n),A.
                ioAt_ =
                    clock_ + 4 * static_cast<std::uint64_t>(cpcMicroseconds(opcode_, opcode_[0] == 0xED ? 12 : 11) - 1);
            }
            const int tstates = z80ex_step(cpu_);
            instructionTstates_ += tstates;
            if (!cpcTiming)
                clock_ += static_cast<std::uint64_t>(tstates);
            else if (z80ex_last_op_type(cpu_) == 0)
                clock_ =
                    instructionStart_ + 4 * static_cast<std::uint64_t>(cpcMicroseconds(opcode_, instructionTstates_));
            if (clock_ >= nextInterrupt_) interruptPending_ = true, nextInterrupt_ += kInterruptPeriod;
            if (interruptPending_ && z80ex_last_op_type(cpu_) == 0 && z80ex_int_possible(cpu_)) {
                if (const int taken = z80ex_int(cpu_); taken > 0)
                    clock_ += static_cast<std::uint64_t>(cpcTiming ? (taken + 3) / 4 * 4 : taken),
                        interruptPending_ = false, ++interruptsTaken;
            }
        }
        result.endedAt = clock_;
        return result;
    }

private:
    void returnFromTrap() {
        const auto sp = z80ex_get_reg(cpu_, regSP);
        z80ex_set_reg(cpu_, regPC,
                      static_cast<Z80EX_WORD>(memory[sp] | memory[static_cast<std::uint16_t>(sp + 1)] << 8));
        z80ex_set_reg(cpu_, regSP, static_cast<Z80EX_WORD>(sp + 2));
        clock_ += 10;  // as long as a RET
    }
    // The microseconds an instruction takes on the CPC, from its first two bytes and its
    // T-states (all of its steps').
    static int cpcMicroseconds(std::array<std::uint8_t, 2> op, int tstates) {
        const int rounded = (tstates + 3) / 4;
        if (op[0] == 0xED && op[1] >= 0x40 && op[1] < 0x80) {
            if ((op[1] & 7) <= 1) return 4;  // IN r,(C), OUT (C),r
            if ((op[1] & 7) == 3) return 6;  // LD (nn),rr / LD rr,(nn)
        }
        if ((op[0] & 0xCF) == 0xC5) return 4;                   // PUSH
        if (op[0] == 0xE3) return 6;                            // EX (SP),HL
        if (op[0] == 0x22 || op[0] == 0x2A) return 5;           // LD (nn),HL / LD HL,(nn)
        if (op[0] == 0x10 && tstates == 8) return 3;            // DJNZ, not taken
        if ((op[0] & 0xC7) == 0xC0 && tstates == 11) return 4;  // RET cc, taken
        return rounded;
    }
    // When the current instruction's I/O access happens: in its last microsecond.
    std::uint64_t now() const {
        if (cpcTiming) return ioAt_;
        return stepStart_ + static_cast<std::uint64_t>(z80ex_op_tstate(cpu_));
    }

    std::uint8_t in(std::uint16_t port) {
        if (port >> 8 == 0xF5) return static_cast<std::uint8_t>(0x5E | (now() % kFrame < kFlyback ? 1 : 0));
        if (port >> 8 != 0xF4 || !portAInput_ || portC_ >> 6 != 1 || soundRegister_ != 14) {
            unexpectedPorts.push_back(port);  // only the flyback and the keyboard are read
            return 0xFF;
        }
        const int line = portC_ & 0x0F;
        const std::uint8_t value = line == 5 && spaceDown(now()) ? 0x7F : 0xFF;
        keyboardReads.push_back({line, value, now()});
        if (!shownWhileWaiting) shownWhileWaiting = shownNow();
        return value;
    }
    void out(std::uint16_t port, std::uint8_t value) {
        switch (port >> 8) {
            case 0x7F:
                if (value >> 6 == 0)
                    pen_ = (value & 0x10) ? 16 : value & 0x0F, penSelects.push_back({pen_, value, now()});
                else if (value >> 6 == 1)
                    inks_[static_cast<std::size_t>(pen_)] = value, penColours.push_back({pen_, value, now()});
                else if (value >> 6 == 2)
                    mode_ = value & 3, gateArrayModes.push_back({value & 3, value, now()});
                else
                    unexpectedPorts.push_back(port);
                break;
            case 0xBC: crtcSelected_ = value & 0x1F; break;
            case 0xBD:
                if (crtcSelected_ < 18) crtc_[static_cast<std::size_t>(crtcSelected_)] = value;
                crtcWrites.push_back({crtcSelected_, value, now()});
                break;
            case 0xF4: portA_ = value; break;
            case 0xF6:
                portC_ = value;
                if (value >> 6 == 3) soundRegister_ = portA_ & 0x0F;  // latch the chip's register
                break;
            case 0xF7:  // a mode set, which clears the latches (a bit set or reset is not expected)
                if (value < 0x80) unexpectedPorts.push_back(port);
                portAInput_ = (value & 0x10) != 0, portA_ = 0, portC_ = 0;
                break;
            default: unexpectedPorts.push_back(port); break;
        }
    }

    Z80EX_CONTEXT* cpu_ = nullptr;
    std::array<std::uint8_t, 2> opcode_{};
    int instructionTstates_ = 0;
    std::uint64_t clock_ = 0, stepStart_ = 0, ioAt_ = 0, instructionStart_ = 0, nextInterrupt_ = kInterruptPeriod;
    bool interruptPending_ = false, portAInput_ = false;
    int mode_ = 1, pen_ = 0, crtcSelected_ = 0, soundRegister_ = 0;
    std::uint8_t portA_ = 0, portC_ = 0;
    std::array<std::uint8_t, 18> crtc_{};
    std::array<std::optional<std::uint8_t>, 17> inks_;
};

// The colour a gate-array code shows, as the firmware's colour number (9 × green + 3 ×
// red + blue levels); the gate array reads bits 4-0 of a colour write.
inline int firmwareColourOfCode(std::uint8_t code) {
    static constexpr std::array<int, 32> colour{13, 13, 19, 25, 1, 7, 10, 16, 7, 25, 24, 26, 6, 8, 15, 17,
                                                1,  19, 18, 20, 0, 2, 9,  11, 4, 22, 21, 23, 3, 5, 12, 14};
    return colour[code & 0x1F];
}

// The pen of pixel (x, y) of a screen of 80 bytes a line and 8 lines a character row,
// each scan line of a row 2 KB after the one before: mode 2 one bit a pixel from bit 7;
// mode 1 pen bits 0/1 of pixel k at bits 7-k/3-k; mode 0 pen bits 0/1/2/3 of pixel k at
// bits 7-k/3-k/5-k/1-k.
inline int penOfByte(std::uint8_t byte, int mode, int k) {
    auto bit = [byte](int n) { return (byte >> n) & 1; };
    if (mode == 2) return bit(7 - k);
    if (mode == 1) return bit(7 - k) | bit(3 - k) << 1;
    return bit(7 - k) | bit(3 - k) << 1 | bit(5 - k) << 2 | bit(1 - k) << 3;
}
inline int penOnScreen(std::span<const std::uint8_t> screen, int mode, int x, int y) {
    const int perByte = 2 << mode;
    return penOfByte(screen[static_cast<std::size_t>(y / 8 * 80 + y % 8 * 0x800 + x / perByte)], mode, x % perByte);
}

// The address the CRTC and the gate array read for byte `b` of scan line y, from the
// CRTC's registers: the character address MA = R12:R13 + R1 × (y div 8) + b div 2 counts
// on 14 bits; MA13-12 choose the 16 KB bank, the scan line y mod 8 gives address bits
// 13-11, MA9-0 bits 10-1, and the byte of the character bit 0.
inline std::uint16_t crtcByteAddress(const std::array<std::uint8_t, 18>& crtc, int y, int b) {
    const unsigned ma = (unsigned(crtc[12] << 8 | crtc[13]) + crtc[1] * unsigned(y / 8) + unsigned(b / 2)) & 0x3FFF;
    return static_cast<std::uint16_t>((ma >> 12 & 3) << 14 | unsigned(y % 8) << 11 | (ma & 0x3FF) << 1 |
                                      unsigned(b & 1));
}

}  // namespace varnoke::test
