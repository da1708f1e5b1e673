#include "emulated_cpc.h"

#include <algorithm>
#include <stdexcept>

namespace varnoke::testing {
namespace {

// Where the emulated caller continues after the routine's final RET.
constexpr std::uint16_t kReturnAddress = 0xBE80;
// The stack may grow this far below its top before a write counts as outside it.
constexpr std::uint16_t kStackDepth = 0x100;

}  // namespace

EmulatedCpc::EmulatedCpc() {
    cpu_ = z80ex_create(readMemory, this, writeMemory, this, readPort, this, writePort, this, interruptVector, this);
    if (!cpu_) throw std::runtime_error("libz80ex could not create a Z80");
    // The firmware's settings: screen at &C000, 40 characters of 2 bytes per line.
    crtcRegisters[1] = 40;
    crtcRegisters[12] = 0x30;
    std::copy(kFirmwareInterruptEntry.begin(), kFirmwareInterruptEntry.end(), memory.begin() + 0x38);
}

EmulatedCpc::~EmulatedCpc() { z80ex_destroy(cpu_); }

void EmulatedCpc::load(std::uint16_t address, std::span<const std::uint8_t> bytes) {
    if (address + bytes.size() > memory.size()) throw std::out_of_range("the bytes do not fit in 64 KB");
    std::copy(bytes.begin(), bytes.end(), memory.begin() + address);
}

std::vector<std::uint16_t> EmulatedCpc::writesOutsideStack() const {
    std::vector<std::uint16_t> outside;
    for (std::size_t a = 0; a < written.size(); ++a)
        if (written[a] && !(a >= kStackTop - kStackDepth && a < kStackTop))
            outside.push_back(static_cast<std::uint16_t>(a));
    return outside;
}

EmulatedCpc::Picture EmulatedCpc::shownNow() const {
    return Picture{memory, inks, mode_, crtcRegisters[12], clock_};
}

void EmulatedCpc::returnFromTrap() {
    const auto sp = z80ex_get_reg(cpu_, regSP);
    const auto target = static_cast<std::uint16_t>(memory[sp] | (memory[static_cast<std::uint16_t>(sp + 1)] << 8));
    z80ex_set_reg(cpu_, regSP, static_cast<Z80EX_WORD>(sp + 2));
    z80ex_set_reg(cpu_, regPC, target);
    clock_ += 10;  // as long as a RET
}

EmulatedCpc::CallResult EmulatedCpc::call(std::uint16_t address, std::uint64_t budget) {
    // As BASIC's CALL leaves it: interrupt mode 1, interrupts on, a return address pushed.
    z80ex_set_reg(cpu_, regIM, 1);
    z80ex_set_reg(cpu_, regIFF1, 1);
    z80ex_set_reg(cpu_, regIFF2, 1);
    const std::uint16_t sp = kStackTop - 2;
    memory[sp] = kReturnAddress & 0xFF;
    memory[sp + 1] = kReturnAddress >> 8;
    z80ex_set_reg(cpu_, regSP, sp);
    z80ex_set_reg(cpu_, regPC, address);

    CallResult result;
    result.startedAt = clock_;
    while (clock_ - result.startedAt < budget) {
        const bool betweenInstructions = z80ex_last_op_type(cpu_) == 0;
        if (betweenInstructions) {
            const auto pc = z80ex_get_reg(cpu_, regPC);
            if (pc == kReturnAddress && z80ex_get_reg(cpu_, regSP) == kStackTop) {
                result.returned = true;
                break;
            }
            if (pc == kScrSetMode) {
                const auto a = static_cast<int>(z80ex_get_reg(cpu_, regAF) >> 8);
                modesSet.push_back(a);
                modeSetTimes.push_back(clock_);
                mode_ = a & 3;
                if (setModeClearsScreen) std::fill(memory.begin() + 0xC000, memory.end(), std::uint8_t{0});
                returnFromTrap();
                continue;
            }
            if (pc == kFirmwareInterruptHandler) {
                ++firmwareHandlerRuns;
                z80ex_set_reg(cpu_, regIFF1, 1);  // the handler ends with EI; RET
                z80ex_set_reg(cpu_, regIFF2, 1);
                returnFromTrap();
                continue;
            }
        }
        stepStart_ = clock_;
        clock_ += static_cast<std::uint64_t>(z80ex_step(cpu_));
        if (clock_ >= nextInterrupt_) {
            interruptPending_ = true;
            nextInterrupt_ += kInterruptTStates;
        }
        if (interruptPending_ && z80ex_last_op_type(cpu_) == 0 && z80ex_int_possible(cpu_)) {
            const int taken = z80ex_int(cpu_);
            if (taken > 0) {
                clock_ += static_cast<std::uint64_t>(taken);
                interruptPending_ = false;
                ++interruptsTaken;
            }
        }
    }
    result.endedAt = clock_;
    result.stackPointer = z80ex_get_reg(cpu_, regSP);
    return result;
}

std::uint64_t EmulatedCpc::timeInInstruction() const {
    return stepStart_ + static_cast<std::uint64_t>(z80ex_op_tstate(cpu_));
}

Z80EX_BYTE EmulatedCpc::readMemory(Z80EX_CONTEXT*, Z80EX_WORD address, int, void* self) {
    return static_cast<EmulatedCpc*>(self)->memory[address];
}

void EmulatedCpc::writeMemory(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* self) {
    auto* cpc = static_cast<EmulatedCpc*>(self);
    cpc->memory[address] = value;
    cpc->written[address] = true;
}

Z80EX_BYTE EmulatedCpc::readPort(Z80EX_CONTEXT*, Z80EX_WORD port, void* self) {
    return static_cast<EmulatedCpc*>(self)->in(port);
}

void EmulatedCpc::writePort(Z80EX_CONTEXT*, Z80EX_WORD port, Z80EX_BYTE value, void* self) {
    static_cast<EmulatedCpc*>(self)->out(port, value);
}

Z80EX_BYTE EmulatedCpc::interruptVector(Z80EX_CONTEXT*, void*) { return 0xFF; }

std::uint8_t EmulatedCpc::in(std::uint16_t port) {
    const std::uint64_t time = timeInInstruction();
    switch (port >> 8) {
        case 0xF4: {  // PPI port A
            if (!portAInput_) return portA_;
            const int function = portC_ >> 6;
            if (function != 1) return 0xFF;  // the sound chip does not drive the bus
            if (soundRegister_ != 14) return soundRegisters_[static_cast<std::size_t>(soundRegister_)];
            const int line = portC_ & 0x0F;
            const std::uint8_t value = line == 5 && spaceDown(time) ? 0x7F : 0xFF;
            keyboardReads.push_back({line, value, time});
            if (!shownWhileWaiting) {
                shownWhileWaiting = shownNow();
                shownWhileWaiting->time = time;
            }
            return value;
        }
        case 0xF5:  // PPI port B: Amstrad, 50 Hz, printer not busy; bit 0 the flyback
            return static_cast<std::uint8_t>(0x5E | (flybackAt(time) ? 1 : 0));
        case 0xF6:
            return portC_;
        default:
            unexpectedPorts.push_back(port);
            return 0xFF;
    }
}

void EmulatedCpc::out(std::uint16_t port, std::uint8_t value) {
    switch (port >> 8) {
        case 0x7F:
            switch (value >> 6) {
                case 0: selectedPen_ = (value & 0x10) ? 16 : value & 0x0F; break;
                case 1:
                    inks[static_cast<std::size_t>(selectedPen_)] = value;
                    penColours.push_back({selectedPen_, value, timeInInstruction()});
                    break;
                case 2: gateArrayModes.push_back(value & 3); break;
                default: unexpectedPorts.push_back(port); break;
            }
            break;
        case 0xBC: crtcSelected_ = value & 0x1F; break;
        case 0xBD:
            if (crtcSelected_ < static_cast<int>(crtcRegisters.size()))
                crtcRegisters[static_cast<std::size_t>(crtcSelected_)] = value;
            crtcWrites.push_back({crtcSelected_, value, timeInInstruction()});
            break;
        case 0xF4: portA_ = value; break;
        case 0xF5: unexpectedPorts.push_back(port); break;  // port B is an input
        case 0xF6: {
            portC_ = value;
            switch (value >> 6) {
                case 3: soundRegister_ = portA_ & 0x0F; break;                                   // latch address
                case 2: soundRegisters_[static_cast<std::size_t>(soundRegister_)] = portA_; break;  // write
                default: break;                                                                  // read, inactive
            }
            break;
        }
        case 0xF7:
            if (value & 0x80) {  // mode set: the 8255 clears its output latches
                portAInput_ = (value & 0x10) != 0;
                portA_ = 0;
                portC_ = 0;
            } else {  // set or reset one bit of port C
                const int bit = (value >> 1) & 7;
                portC_ = static_cast<std::uint8_t>((value & 1) ? portC_ | (1 << bit) : portC_ & ~(1 << bit));
            }
            break;
        default: unexpectedPorts.push_back(port); break;
    }
}

ColourLevels levelsOfGateArrayCode(std::uint8_t code) {
    // The firmware's colour number shown by each hardware colour &40..&5F (the gate
    // array ignores bits 7-5 of a colour write beyond the 01 that marks it).
    static constexpr std::array<int, 32> firmwareColour{13, 13, 19, 25, 1,  7,  10, 16, 7,  25, 24,
                                                        26, 6,  8,  15, 17, 1,  19, 18, 20, 0,  2,
                                                        9,  11, 4,  22, 21, 23, 3,  5,  12, 14};
    const int n = firmwareColour[code & 0x1F];
    // Firmware colour n = 9 × green + 3 × red + blue, each level 0, 1 or 2.
    return {(n / 3) % 3, n / 9, n % 3};
}

int penOnScreen(std::span<const std::uint8_t> screen, int mode, int x, int y) {
    // Line y of character row y / 8 and scan line y % 8: each scan line of a row lies
    // 2 KB after the previous one; each row is 80 bytes after the previous one.
    const std::size_t line = static_cast<std::size_t>(y / 8) * 80 + static_cast<std::size_t>(y % 8) * 0x800;
    auto bit = [](std::uint8_t byte, int n) { return (byte >> n) & 1; };
    switch (mode) {
        case 0: {
            // Two pixels a byte; the left pixel's pen bits 0, 1, 2, 3 are byte bits 7, 3, 5, 1
            // and the right pixel's are the bits one lower.
            const std::uint8_t byte = screen[line + static_cast<std::size_t>(x / 2)];
            const int k = x % 2;
            return bit(byte, 7 - k) | bit(byte, 3 - k) << 1 | bit(byte, 5 - k) << 2 | bit(byte, 1 - k) << 3;
        }
        case 1: {
            // Four pixels a byte; pixel k's pen bit 0 is byte bit 7 - k, its bit 1 is bit 3 - k.
            const std::uint8_t byte = screen[line + static_cast<std::size_t>(x / 4)];
            const int k = x % 4;
            return bit(byte, 7 - k) | bit(byte, 3 - k) << 1;
        }
        default: {
            // Eight pixels a byte, the leftmost in bit 7.
            const std::uint8_t byte = screen[line + static_cast<std::size_t>(x / 8)];
            return bit(byte, 7 - x % 8);
        }
    }
}

}  // namespace varnoke::testing
