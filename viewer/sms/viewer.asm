; The -rom viewer for the Master System and the Game Gear (Z80, pasmo).
;
; Shows one picture from its top-left corner: loads the colour RAM, unpacks the
; patterns to VRAM $0000 with lzss_decode_vram, copies the top-left part of the
; map into the name table at $3800, turns the display on and waits forever.
; The ROM builder appends a parameter block at viewer_end (below) and the data
; after it; the same program serves both consoles, the block says where the map
; goes and how many colour RAM bytes to load (32 on the SMS, 64 on the GG).
;
; VRAM: patterns $0000-$37FF (448 tiles), name table $3800-$3EFF, sprite table
; $3F00 (sprites off); tile 511 ($3FE0, an unused part of the sprite table) is
; left blank and fills the screen around a picture smaller than it.

LZSS_RING_BUFFER        EQU $C000
LZSS_DICTIONARY_SIZE    EQU 2048
LZSS_THRESHOLD          EQU 2
LZSS_LEN_BITS           EQU 5
LZSS_LEN_MASK           EQU $1F
LZSS_MAX_LEN            EQU 34
LZSS_PLANES_USED        EQU 4       ; the builder stores every tile in 4 planes
LZSS_FORMAT_PLANES      EQU 4

VDP_DATA                EQU $BE
VDP_CONTROL             EQU $BF
BLANK_ENTRY             EQU $01FF   ; tile 511, palette 0

; The parameter block, as buildSmsRom writes it.
P_CRAM          EQU 0   ; word: colour RAM image; byte at +2: its length
P_PATTERNS      EQU 3   ; word: packed patterns; word at +5: their length
P_NAMES         EQU 7   ; word: the map, row after row
P_STRIDE        EQU 9   ; word: bytes per map row
P_ROWS          EQU 11  ; byte: map rows to copy
P_COLUMNS       EQU 12  ; byte: entries to copy from each row
P_TARGET        EQU 13  ; word: VRAM address of the first entry, write flag set

        ORG 0
        di
        im 1
        ld sp,$DFF0
        jp start

        ORG $38
        ei                      ; no interrupt is enabled; kept harmless
        reti

        ORG $66
        retn                    ; the pause button

start:
        ; The Sega mapper: banks 0, 1 and 2 in the three slots.
        xor a
        ld ($FFFC),a
        ld ($FFFD),a
        inc a
        ld ($FFFE),a
        inc a
        ld ($FFFF),a

        ld hl,vdp_registers
        ld b,vdp_registers_end - vdp_registers
        ld c,VDP_CONTROL
        otir

        ; Every name entry shows the blank tile first; the sprite table
        ; follows at $3F00: its first Y, $D0, ends the sprite list, and the
        ; rest, tile 511 included, is zero.
        ld hl,$7800
        call set_vram_address
        ld bc,32 * 28
fill_names:
        ld a,BLANK_ENTRY & $FF
        out (VDP_DATA),a
        ld a,BLANK_ENTRY / 256
        out (VDP_DATA),a
        dec bc
        ld a,b
        or c
        jr nz,fill_names
        ld a,$D0
        out (VDP_DATA),a
        xor a
        ld b,255
clear_sprites:
        out (VDP_DATA),a
        djnz clear_sprites

        ld ix,viewer_end
        call load_colours
        call load_patterns
        call load_names

        ld a,$C0                ; display on, no interrupts
        out (VDP_CONTROL),a
        ld a,$81
        out (VDP_CONTROL),a
forever:
        jr forever

; HL = VRAM address with the access code in its top two bits.
set_vram_address:
        ld a,l
        out (VDP_CONTROL),a
        ld a,h
        out (VDP_CONTROL),a
        ret

load_colours:
        ld hl,$C000             ; colour RAM from entry 0
        call set_vram_address
        ld l,(ix+P_CRAM)
        ld h,(ix+P_CRAM+1)
        ld b,(ix+P_CRAM+2)
        ld c,VDP_DATA
        otir
        ret

load_patterns:
        ld hl,$4000
        call set_vram_address
        ld e,(ix+P_PATTERNS+2)
        ld d,(ix+P_PATTERNS+3)
        push de
        pop iy
        ld l,(ix+P_PATTERNS)
        ld h,(ix+P_PATTERNS+1)
        push ix
        push hl
        pop ix
        call lzss_decode_vram
        pop ix
        ret

; Copies P_ROWS rows of P_COLUMNS entries, each row to the next 64 bytes of
; the name table.
load_names:
        ld l,(ix+P_NAMES)
        ld h,(ix+P_NAMES+1)
        ld e,(ix+P_TARGET)
        ld d,(ix+P_TARGET+1)
        ld a,(ix+P_ROWS)
        or a
        ret z
names_row:
        push af
        push hl
        ex de,hl
        call set_vram_address
        ex de,hl
        ld a,(ix+P_COLUMNS)
        add a,a
        ld b,a                  ; bytes of the row (at most 64)
        ld c,VDP_DATA
        otir
        pop hl
        ld c,(ix+P_STRIDE)
        ld b,(ix+P_STRIDE+1)
        add hl,bc
        ex de,hl
        ld bc,64
        add hl,bc
        ex de,hl
        pop af
        dec a
        jr nz,names_row
        ret

; Mode 4, display off; name table $3800, sprite table $3F00, sprite
; patterns from $0000, border colour 0, no scrolling, no line interrupts.
vdp_registers:
        DEFB $06,$80, $80,$81, $FF,$82, $FF,$83, $FF,$84, $FF,$85, $FB,$86
        DEFB $00,$87, $00,$88, $00,$89, $FF,$8A
vdp_registers_end:

; The build appends decoder/sms/lzss_decode.asm here (its .IF and .ENDIF
; written as pasmo's IF and ENDIF), then the label viewer_end, where the ROM
; builder puts the parameter block.
