#include "cpc/viewer_routine.h"

#include <algorithm>
#include <array>

namespace varnoke {
namespace {

// Addresses are those of the file loaded at &4000. &BC0E is the firmware's SCR SET MODE
// (mode in A); ports: &7Fxx gate array, &BCxx/&BDxx CRTC select/data, &F4xx-&F6xx PPI
// ports A-C, &F7xx PPI control.

// Block 1, main routine, entry point of the screen file.
constexpr std::array<Byte, 48> kMainRoutine{
    0xF3,              // &4FD0  DI
    0x2A, 0x38, 0x00,  // &4FD1  LD HL,(&0038)    ; keep the interrupt entry's first two bytes
    0x22, 0xF5, 0x4F,  // &4FD4  LD (&4FF5),HL    ; ... in the operand of the LD HL at &4FF4
    0x21, 0xFB, 0xC9,  // &4FD7  LD HL,&C9FB
    0x22, 0x38, 0x00,  // &4FDA  LD (&0038),HL    ; EI : RET at &0038, the firmware stays out
    0xFB,              // &4FDD  EI
    0xCD, 0xD0, 0x5F,  // &4FDE  CALL &5FD0       ; block 3: set mode and pens
    0xCD, 0xD0, 0x67,  // &4FE1  CALL &67D0       ; block 4: display from &4000
    0x06, 0xF5,        // &4FE4  LD B,&F5
    0xED, 0x78,        // &4FE6  IN A,(C)         ; PPI port B
    0x1F,              // &4FE8  RRA              ; bit 0, frame flyback, into carry
    0x30, 0xFB,        // &4FE9  JR NC,&4FE6      ; wait for the flyback
    0xCD, 0xD0, 0x57,  // &4FEB  CALL &57D0       ; block 2: carry set while space is up
    0xDA, 0xE4, 0x4F,  // &4FEE  JP C,&4FE4
    0xCD, 0xDB, 0x67,  // &4FF1  CALL &67DB       ; block 4: display from &C000
    0x21, 0x00, 0x00,  // &4FF4  LD HL,&0000      ; operand filled in at &4FD4
    0x22, 0x38, 0x00,  // &4FF7  LD (&0038),HL    ; put the interrupt entry back
    0x3E, 0x02,        // &4FFA  LD A,2
    0xCD, 0x0E, 0xBC,  // &4FFC  CALL &BC0E       ; mode 2
    0xC9,              // &4FFF  RET
};

// Block 2, space bar test: reads keyboard line 5 through the sound chip's register 14.
constexpr std::array<Byte, 48> kSpaceBarTest{
    0x01, 0x0E, 0xF4,  // &57D0  LD BC,&F40E
    0xED, 0x49,        // &57D3  OUT (C),C        ; port A := 14, the keyboard register
    0x01, 0xC0, 0xF6,  // &57D5  LD BC,&F6C0
    0xED, 0x49,        // &57D8  OUT (C),C        ; port C := &C0, latch the register number
    0xAF,              // &57DA  XOR A
    0xED, 0x79,        // &57DB  OUT (C),A        ; port C := 0, sound chip inactive
    0x01, 0x92, 0xF7,  // &57DD  LD BC,&F792
    0xED, 0x49,        // &57E0  OUT (C),C        ; port A becomes an input
    0x01, 0x45, 0xF6,  // &57E2  LD BC,&F645
    0xED, 0x49,        // &57E5  OUT (C),C        ; read the sound chip, keyboard line 5
    0x06, 0xF4,        // &57E7  LD B,&F4
    0xED, 0x78,        // &57E9  IN A,(C)         ; line 5; a key that is down reads 0
    0x01, 0x82, 0xF7,  // &57EB  LD BC,&F782
    0xED, 0x49,        // &57EE  OUT (C),C        ; port A an output again
    0x01, 0x00, 0xF6,  // &57F0  LD BC,&F600
    0xED, 0x49,        // &57F3  OUT (C),C        ; port C := 0
    0x17,              // &57F5  RLA              ; bit 7, the space bar, into carry
    0xC9,              // &57F6  RET
    0,    0,    0,    0, 0, 0, 0, 0, 0,
};

// Block 3, set the mode and the pens from the ink table.
constexpr std::array<Byte, 48> kSetModeAndPens{
    0x21, 0xF1, 0x47,  // &5FD0  LD HL,&47F1      ; the mode byte
    0x7E,              // &5FD3  LD A,(HL)
    0xCD, 0x0E, 0xBC,  // &5FD4  CALL &BC0E
    0x01, 0x00, 0x7F,  // &5FD7  LD BC,&7F00      ; gate array
    0x16, 0x00,        // &5FDA  LD D,0           ; pen 0
    0x21, 0xE0, 0x47,  // &5FDC  LD HL,&47E0      ; the code list; operand rewritten below
    0x7E,              // &5FDF  LD A,(HL)
    0xB7,              // &5FE0  OR A
    0x28, 0x0C,        // &5FE1  JR Z,&5FEF       ; a zero byte ends the list
    0xED, 0x51,        // &5FE3  OUT (C),D        ; select pen D
    0xED, 0x79,        // &5FE5  OUT (C),A        ; give it colour code A
    0x23,              // &5FE7  INC HL
    0x22, 0xDD, 0x5F,  // &5FE8  LD (&5FDD),HL    ; into the operand at &5FDC
    0x14,              // &5FEB  INC D
    0xC3, 0xDC, 0x5F,  // &5FEC  JP &5FDC
    0xC9,              // &5FEF  RET
    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

// Block 4, display start: CRTC register 12 := &10 (&4000) or &30 (&C000).
constexpr std::array<Byte, 48> kDisplayStart{
    0x01, 0x0C, 0xBC,  // &67D0  LD BC,&BC0C
    0xED, 0x49,        // &67D3  OUT (C),C        ; select CRTC register 12
    0x01, 0x10, 0xBD,  // &67D5  LD BC,&BD10
    0xED, 0x49,        // &67D8  OUT (C),C        ; display from &4000
    0xC9,              // &67DA  RET
    0x01, 0x0C, 0xBC,  // &67DB  LD BC,&BC0C
    0xED, 0x49,        // &67DE  OUT (C),C
    0x01, 0x30, 0xBD,  // &67E0  LD BC,&BD30
    0xED, 0x49,        // &67E3  OUT (C),C        ; display from &C000
    0xC9,              // &67E5  RET
    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

// The &C000 file's routine: block 3 with the addresses of the picture at &C000, run from
// &4000 (the entry address of that file's header).
constexpr std::array<Byte, 32> kSetModeAndPensC000{
    0x21, 0xF1, 0xC7,  // &4000  LD HL,&C7F1      ; the mode byte
    0x7E,              // &4003  LD A,(HL)
    0xCD, 0x0E, 0xBC,  // &4004  CALL &BC0E
    0x01, 0x00, 0x7F,  // &4007  LD BC,&7F00
    0x16, 0x00,        // &400A  LD D,0
    0x21, 0xE0, 0xC7,  // &400C  LD HL,&C7E0      ; operand rewritten below
    0x7E,              // &400F  LD A,(HL)
    0xB7,              // &4010  OR A
    0x28, 0x0C,        // &4011  JR Z,&401F
    0xED, 0x51,        // &4013  OUT (C),D
    0xED, 0x79,        // &4015  OUT (C),A
    0x23,              // &4017  INC HL
    0x22, 0x0D, 0x40,  // &4018  LD (&400D),HL
    0x14,              // &401B  INC D
    0xC3, 0x0C, 0x40,  // &401C  JP &400C
    0xC9,              // &401F  RET
};

constexpr std::array<ViewerBlock, 4> kBlocks4000{{
    {0x0FD0, kMainRoutine},
    {0x17D0, kSpaceBarTest},
    {0x1FD0, kSetModeAndPens},
    {0x27D0, kDisplayStart},
}};

constexpr std::array<ViewerBlock, 1> kBlocksC000{{
    {0x0FD0, kSetModeAndPensC000},
}};

}  // namespace

std::span<const ViewerBlock> viewerBlocks(ScreenLayout layout) {
    if (layout == ScreenLayout::AtC000) return kBlocksC000;
    return kBlocks4000;
}

void placeViewerRoutine(ScreenImage& image, ScreenLayout layout) {
    for (const ViewerBlock& block : viewerBlocks(layout))
        std::copy(block.bytes.begin(), block.bytes.end(),
                  image.begin() + static_cast<std::ptrdiff_t>(block.imageOffset));
}

}  // namespace varnoke
