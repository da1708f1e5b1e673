// An Amstrad CPC just complete enough to run the viewer routine that a screen file
// carries: a Z80 (libz80ex) with 64 KB of RAM, the firmware entry SCR SET MODE (&BC0E)
// trapped, and the hardware that the routine touches:
//
//   &7Fxx  gate array: 00xxxxxx selects a pen (bit 4: the border), 01xxxxxx gives the
//          selected pen a colour, 10xxxxxx sets the screen mode (recorded)
//   &BCxx  CRTC register select, &BDxx CRTC register data
//   &F4xx  PPI port A: the sound chip's data bus; the chip's register 14 reads the
//          keyboard line that port C selects (line 5, bit 7: the space bar, 0 while down)
//   &F5xx  PPI port B (input): bit 0 is the frame flyback, 1 during the first 2048
//          T-states of every 79872-T-state frame (50 Hz at 4 MHz)
//   &F6xx  PPI port C: bits 7-6 the sound chip's function, bits 3-0 the keyboard line
//   &F7xx  PPI control: bit 4 makes port A an input
//
// Interrupts come as on the CPC, 300 times a second in mode 1; one that arrives while
// interrupts are off waits until they are on. RST &38 runs whatever bytes are at &0038;
// the firmware's handler, at &B941, is trapped and counted.
//
// Any other port, and any write outside the places a test expects, is recorded so that
// a test can insist on there being none.
#pragma once

#include <z80ex/z80ex.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace varnoke::testing {

class EmulatedCpc {
public:
    static constexpr std::uint64_t kFrameTStates = 79872;
    static constexpr std::uint64_t kFlybackTStates = 2048;
    static constexpr std::uint64_t kInterruptTStates = kFrameTStates / 6;
    static constexpr std::uint16_t kScrSetMode = 0xBC0E;
    static constexpr std::uint16_t kFirmwareInterruptHandler = 0xB941;
    // What the firmware keeps at &0038: JP &B941.
    static constexpr std::array<std::uint8_t, 3> kFirmwareInterruptEntry{0xC3, 0x41, 0xB9};
    // The stack of a CALL from BASIC lies just below &C000, in the firmware's area.
    static constexpr std::uint16_t kStackTop = 0xBFF0;

    EmulatedCpc();
    ~EmulatedCpc();
    EmulatedCpc(const EmulatedCpc&) = delete;
    EmulatedCpc& operator=(const EmulatedCpc&) = delete;

    std::array<std::uint8_t, 0x10000> memory{};

    void load(std::uint16_t address, std::span<const std::uint8_t> bytes);

    // The space bar goes down at this time (T-states since power-on) and stays down.
    void pressSpaceAt(std::uint64_t time) { spaceDownAt_ = time; }
    // When set, SCR SET MODE also clears the 16 KB at &C000, as the firmware clears the
    // screen it displays on a mode change.
    bool setModeClearsScreen = false;

    struct CallResult {
        bool returned = false;          // the routine came back to its caller
        std::uint64_t startedAt = 0;    // T-states
        std::uint64_t endedAt = 0;
        std::uint16_t stackPointer = 0; // after the return
    };
    // Pushes a return address and runs from `address` until the routine returns, or
    // until `budget` T-states have passed.
    CallResult call(std::uint16_t address, std::uint64_t budget);

    std::uint64_t now() const { return clock_; }
    bool flybackAt(std::uint64_t time) const { return time % kFrameTStates < kFlybackTStates; }
    bool spaceDown(std::uint64_t time) const { return time >= spaceDownAt_; }

    // What the routine did, in order.
    struct PenColour {
        int pen;  // 0..15, 16 for the border
        std::uint8_t code;
        std::uint64_t time;
    };
    struct CrtcWrite {
        int reg;
        std::uint8_t value;
        std::uint64_t time;
    };
    struct KeyboardRead {
        int line;
        std::uint8_t value;
        std::uint64_t time;
    };
    std::vector<int> modesSet;               // A at every SCR SET MODE
    std::vector<std::uint64_t> modeSetTimes;
    std::vector<PenColour> penColours;
    std::vector<CrtcWrite> crtcWrites;
    std::vector<KeyboardRead> keyboardReads;
    std::vector<std::uint16_t> unexpectedPorts;
    std::vector<std::uint8_t> gateArrayModes;  // mode bits of 10xxxxxx writes
    int interruptsTaken = 0;
    int firmwareHandlerRuns = 0;
    std::array<std::uint8_t, 18> crtcRegisters{};
    std::array<std::optional<std::uint8_t>, 17> inks;  // the colour code each pen holds

    // Every address written since the last call to clearWrites().
    std::vector<bool> written = std::vector<bool>(0x10000, false);
    void clearWrites() { written.assign(0x10000, false); }
    // The addresses written outside the stack area just below kStackTop.
    std::vector<std::uint16_t> writesOutsideStack() const;

    // A copy of memory and of the pens at the first keyboard read: what the screen
    // shows while the routine waits for the space bar.
    struct Picture {
        std::array<std::uint8_t, 0x10000> memory;
        std::array<std::optional<std::uint8_t>, 17> inks;
        int mode;
        std::uint8_t crtcR12;
        std::uint64_t time;
    };
    std::optional<Picture> shownWhileWaiting;
    Picture shownNow() const;

private:
    static Z80EX_BYTE readMemory(Z80EX_CONTEXT*, Z80EX_WORD address, int, void* self);
    static void writeMemory(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* self);
    static Z80EX_BYTE readPort(Z80EX_CONTEXT*, Z80EX_WORD port, void* self);
    static void writePort(Z80EX_CONTEXT*, Z80EX_WORD port, Z80EX_BYTE value, void* self);
    static Z80EX_BYTE interruptVector(Z80EX_CONTEXT*, void*);

    std::uint8_t in(std::uint16_t port);
    void out(std::uint16_t port, std::uint8_t value);
    std::uint64_t timeInInstruction() const;
    void returnFromTrap();

    Z80EX_CONTEXT* cpu_ = nullptr;
    std::uint64_t clock_ = 0;
    std::uint64_t stepStart_ = 0;
    std::uint64_t nextInterrupt_ = kInterruptTStates;
    bool interruptPending_ = false;
    std::uint64_t spaceDownAt_ = UINT64_MAX;
    int mode_ = 1;

    int selectedPen_ = 0;
    int crtcSelected_ = 0;
    std::uint8_t portA_ = 0;
    std::uint8_t portC_ = 0;
    bool portAInput_ = false;
    int soundRegister_ = 0;
    std::array<std::uint8_t, 16> soundRegisters_{};
};

// The colour that a gate-array code shows, as (red, green, blue) levels 0, 1, 2.
struct ColourLevels {
    int red;
    int green;
    int blue;
};
ColourLevels levelsOfGateArrayCode(std::uint8_t code);

// The pen of pixel (x, y) of a CPC screen: `screen` is the 16 KB the CRTC displays,
// with 80 bytes per line (CRTC register 1 = 40) and 8 lines per character row.
int penOnScreen(std::span<const std::uint8_t> screen, int mode, int x, int y);

}  // namespace varnoke::testing
