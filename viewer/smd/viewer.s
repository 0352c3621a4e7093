| viewer.s - morvik's picture viewer for the Mega Drive (68000, GNU as).
|
| Linked at address 0: the vectors, the cartridge header (its checksum and ROM
| end are filled in by the ROM builder), then the program. The ROM builder
| appends the picture right after this binary, at `picture`:
|
|   +0   long  map columns to copy (at most 64, the plane's width)
|   +4   long  map rows to copy (at most 32, the plane's height)
|   +8   long  bytes from one map row to the next in the name data
|   +12  long  name entry of the blank tile, for the plane outside the map
|   +16  long  colour words to load into CRAM (at most 64)
|   +20  long  packed pattern stream length in bytes
|   +24  long  offset of the colour words from `picture`
|   +28  long  offset of the name entries
|   +32  long  offset of the packed pattern stream
| The colour words and name entries sit at even offsets.
|
| VRAM: patterns from $0000 (tile n at n * 32), plane A and plane B both at
| $E000 (64 x 32 entries), sprites at $F000, horizontal scroll at $F800.
| The display is H40 x V28 (320 x 224), scrolled to the map's top-left corner.

        .equ    LZSS_DICTIONARY_SIZE, 1024
        .equ    LZSS_THRESHOLD, 2
        .equ    LZSS_LEN_BITS, 6
        .equ    LZSS_LEN_MASK, 0x3F
        .equ    LZSS_MAX_LEN, 66

        .equ    VDP_DATA, 0xC00000
        .equ    VDP_CONTROL, 0xC00004
        .equ    VERSION_PORT, 0xA10001
        .equ    TMSS_PORT, 0xA14000
        .equ    PLANE_BASE, 0xE000
        .equ    PLANE_ROW_BYTES, 128
        .equ    STACK_TOP, 0x00FFFE00

        .equ    PIC_COLUMNS, 0
        .equ    PIC_ROWS, 4
        .equ    PIC_STRIDE, 8
        .equ    PIC_BLANK, 12
        .equ    PIC_COLOURS, 16
        .equ    PIC_STREAM_LENGTH, 20
        .equ    PIC_PALETTE, 24
        .equ    PIC_NAMES, 28
        .equ    PIC_STREAM, 32

        .section .text
        .globl  _start
_start:
vectors:
        .long   STACK_TOP
        .long   reset
        .rept   62
        .long   halt
        .endr

header:
        .ascii  "SEGA MEGA DRIVE "
        .ascii  "(C)MRVK 2024.JAN"
        .ascii  "MORVIK PICTURE VIEWER                           "
        .ascii  "MORVIK PICTURE VIEWER                           "
        .ascii  "GM 00000000-00"
        .word   0                       | checksum, from the ROM builder
        .ascii  "J               "
        .long   0                       | ROM start
        .long   0                       | ROM end, from the ROM builder
        .long   0x00FF0000
        .long   0x00FFFFFF
        .ascii  "            "
        .ascii  "            "
        .ascii  "                                        "
        .ascii  "JUE             "

reset:
        move.w  #0x2700,%sr
        | Consoles with the trademark check stop the VDP until 'SEGA' is written.
        move.b  VERSION_PORT,%d0
        andi.b  #0x0F,%d0
        beq.s   1f
        move.l  #0x53454741,TMSS_PORT
1:
        lea     VDP_CONTROL,%a4
        lea     VDP_DATA,%a5
        tst.w   (%a4)                   | drop any half-written command
        lea     vdp_registers,%a0
        moveq   #VDP_REGISTER_COUNT-1,%d1
2:      move.w  (%a0)+,(%a4)
        dbra    %d1,2b

        | Clear VRAM (sprites, scroll table, blank tile), then VSRAM.
        move.l  #0x40000000,(%a4)
        moveq   #0,%d0
        move.w  #0x8000-1,%d1
3:      move.w  %d0,(%a5)
        dbra    %d1,3b
        move.l  #0x40000010,(%a4)
        moveq   #40-1,%d1
4:      move.w  %d0,(%a5)
        dbra    %d1,4b

        lea     picture,%a6

        | Colours: every sub-palette the picture has, from CRAM entry 0.
        move.l  #0xC0000000,(%a4)
        movea.l %a6,%a0
        adda.l  PIC_PALETTE(%a6),%a0
        move.w  PIC_COLOURS+2(%a6),%d1
        bra.s   6f
5:      move.w  (%a0)+,(%a5)
6:      dbra    %d1,5b

        | Patterns, unpacked straight into VRAM from $0000.
        move.l  #0x40000000,(%a4)
        movea.l %a6,%a2
        adda.l  PIC_STREAM(%a6),%a2
        move.l  PIC_STREAM_LENGTH(%a6),%d0
        jsr     lzss_decode_vram

        | The whole plane shows the blank tile, then the map goes over it.
        move.l  #0x60000003,(%a4)
        move.w  PIC_BLANK+2(%a6),%d0
        move.w  #64*32-1,%d1
7:      move.w  %d0,(%a5)
        dbra    %d1,7b

        movea.l %a6,%a0
        adda.l  PIC_NAMES(%a6),%a0            | A0: the map row being copied
        move.l  #0x60000003,%d2         | VRAM write command for the plane row
        move.w  PIC_ROWS+2(%a6),%d3
        bra.s   10f
8:      move.l  %d2,(%a4)
        movea.l %a0,%a1
        move.w  PIC_COLUMNS+2(%a6),%d1
        bra.s   9f
11:     move.w  (%a1)+,(%a5)
9:      dbra    %d1,11b
        adda.l  PIC_STRIDE(%a6),%a0
        addi.l  #PLANE_ROW_BYTES<<16,%d2
10:     dbra    %d3,8b

        move.w  #0x8144,(%a4)           | display on
halt:
        bra.s   halt

vdp_registers:
        .word   0x8004                  | no line interrupt
        .word   0x8104                  | mode 5, display off while loading
        .word   0x8238                  | plane A at $E000
        .word   0x8338                  | window at $E000 (not shown)
        .word   0x8407                  | plane B at $E000
        .word   0x8578                  | sprites at $F000
        .word   0x8600
        .word   0x8700                  | backdrop: CRAM entry 0
        .word   0x8800
        .word   0x8900
        .word   0x8AFF
        .word   0x8B00                  | whole-screen scrolling
        .word   0x8C81                  | H40, no interlace, no shadow
        .word   0x8D3E                  | horizontal scroll table at $F800
        .word   0x8E00
        .word   0x8F02                  | auto-increment 2
        .word   0x9001                  | planes 64 x 32 tiles
        .word   0x9100                  | no window
        .word   0x9200
        .equ    VDP_REGISTER_COUNT, 19

        .include "lzss_decode.s"

        .balign 2
picture:
