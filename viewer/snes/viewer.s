; Picture viewer for the Super NES (LoROM, 65816). The ROM builder puts the
; scroll limits and two lists at $01:8000 and the picture's data after them;
; this program runs the lists during forced blank, turns the screen on, and
; then scrolls BG1 with the joypad's direction buttons, a pixel a frame.
;
; Scroll limits: the largest horizontal and vertical offset (2 bytes each).
; Register list: pairs (low byte of a $21xx register, value); $FF ends it.
; DMA list, one 10-byte job each; a job whose first byte is 0 ends it:
;   0 B-bus register (BBAD0)   1 DMA mode (DMAP0)   2 VRAM increment (VMAIN)
;   3 VRAM word address, low byte also the CGRAM address (2 bytes)
;   5 source address (2 bytes)  7 source bank  8 length in bytes (2; 0 = 64 KB)

.p816
.smart -

INIDISP  = $2100
VMAIN    = $2115
VMADDL   = $2116
VMADDH   = $2117
CGADD    = $2121
BG1HOFS  = $210D
BG1VOFS  = $210E
NMITIMEN = $4200
HVBJOY   = $4212
JOY1     = $4218
MDMAEN   = $420B
HDMAEN   = $420C
DMAP0    = $4300
BBAD0    = $4301
A1T0L    = $4302
A1B0     = $4304
DAS0L    = $4305

LISTS    = $8000             ; in bank 1, the data bank below

; Direct page (work RAM)
scroll_x = $00
scroll_y = $02
limit_x  = $04
limit_y  = $06

.segment "CODE"

reset:
        sei
        clc
        xce                  ; native mode
        rep #$18             ; 16-bit index registers, binary arithmetic
        .i16
        sep #$20
        .a8
        ldx #$1FFF
        txs
        lda #$80
        sta INIDISP          ; forced blank while loading
        stz NMITIMEN
        stz HDMAEN
        lda #$01
        pha
        plb                  ; bank 1 holds the lists and mirrors the I/O registers
        lda #0
        xba                  ; B = 0, so TAY takes the register number alone

        ldx #$0033           ; $2101-$2133 to zero: no sprites, windows,
clear:  stz $2100,x          ; colour maths or mosaic; the scroll registers
        stz $2100,x          ; take two writes
        dex
        bne clear

        rep #$20
        .a16
        lda a:LISTS
        sta z:limit_x
        lda a:LISTS+2
        sta z:limit_y
        stz z:scroll_x
        stz z:scroll_y
        sep #$20
        .a8
        ldx #LISTS+4
regs:   lda a:0,x
        cmp #$FF
        beq regs_done
        tay
        lda a:1,x
        sta $2100,y
        inx
        inx
        bra regs
regs_done:
        inx

jobs:   lda a:0,x
        beq show
        sta BBAD0
        lda a:1,x
        sta DMAP0
        lda a:2,x
        sta VMAIN
        lda a:3,x
        sta VMADDL
        sta CGADD
        lda a:4,x
        sta VMADDH
        lda a:7,x
        sta A1B0
        rep #$20
        .a16
        lda a:5,x
        sta A1T0L
        lda a:8,x
        sta DAS0L
        txa
        clc
        adc #10
        tax
        sep #$20
        .a8
        lda #$01
        sta MDMAEN           ; channel 0; the CPU waits until it is done
        bra jobs

show:   lda #$0F
        sta INIDISP          ; full brightness, screen on
        lda #$81
        sta NMITIMEN         ; NMI at each vertical blank, joypad read by the console

frame:  wai                  ; until the vertical blank
joypad: lda HVBJOY
        and #$01
        bne joypad           ; the joypad is still being read
        rep #$20
        .a16
        lda JOY1             ; bits 11-8: up, down, left, right
        bit #$0100
        beq :+
        ldy z:scroll_x
        cpy z:limit_x
        bcs :+
        inc z:scroll_x
:       bit #$0200
        beq :+
        ldy z:scroll_x
        beq :+
        dec z:scroll_x
:       bit #$0400
        beq :+
        ldy z:scroll_y
        cpy z:limit_y
        bcs :+
        inc z:scroll_y
:       bit #$0800
        beq :+
        ldy z:scroll_y
        beq :+
        dec z:scroll_y
:       lda z:scroll_y
        dec a                ; line y of the map on the first line: offset y - 1
        sep #$20
        .a8
        sta BG1VOFS
        xba
        sta BG1VOFS
        lda z:scroll_x
        sta BG1HOFS
        lda z:scroll_x+1
        sta BG1HOFS
        bra frame

ignore: rti

.segment "HEADER"
        .byte "MORVIK VIEWER        " ; 21 bytes
        .byte $20            ; LoROM
        .byte $00            ; ROM only
        .byte $06            ; ROM size, set by the ROM builder
        .byte $00            ; no save RAM
        .byte $01            ; North America (NTSC)
        .byte $00            ; developer
        .byte $00            ; version
        .word $FFFF          ; checksum complement, set by the ROM builder
        .word $0000          ; checksum, set by the ROM builder
        ; native mode vectors
        .word 0, 0, ignore, ignore, ignore, ignore, 0, ignore
        ; emulation mode vectors
        .word 0, 0, ignore, 0, ignore, ignore, reset, ignore
