; The -rom viewer for the Master System and the Game Gear (Z80, pasmo).
;
; Shows one picture from its top-left corner: loads the colour RAM, unpacks the
; patterns to VRAM $0000 with lzss_decode_vram, copies the top-left screen of
; the map into the name table at $3800 and turns the display on. A map larger
; than the screen then scrolls a tile at a time while the joypad's directions
; are held: the visible part of the name table is copied again from the new
; corner, with the display on (writes at least 32 T-states apart).
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
P_MAX_X         EQU 15  ; word: the last column the screen may start at
P_MAX_Y         EQU 17  ; word: the last row the screen may start at

; RAM, above the decoder's ring buffer.
top_left        EQU $D800   ; word: the map entry at the screen's top-left
pos_x           EQU $D802   ; word: its column
pos_y           EQU $D804   ; word: its row
JOYPAD          EQU $DC     ; bits 0-3: up, down, left, right; 0 when held
REPEAT_FRAMES   EQU 5       ; frames between two steps while a direction is held

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
        ld l,(ix+P_NAMES)
        ld h,(ix+P_NAMES+1)
        ld (top_left),hl
        ld hl,0
        ld (pos_x),hl
        ld (pos_y),hl
        call load_names

        ld a,$C0                ; display on, no interrupts
        out (VDP_CONTROL),a
        ld a,$81
        out (VDP_CONTROL),a

scroll_loop:
        call wait_frame
        in a,(JOYPAD)
        cpl
        and $0F
        jr z,scroll_loop
        call move
        jr nc,scroll_loop
        call load_names
        ld b,REPEAT_FRAMES
scroll_pause:
        call wait_frame
        djnz scroll_pause
        jr scroll_loop

; Waits for the next frame's vertical blank (the status flag, interrupts off).
wait_frame:
        in a,(VDP_CONTROL)
        rla
        jr nc,wait_frame
        ret

; A = the directions held (bit 0 up, 1 down, 2 left, 3 right); moves the
; corner a tile each way it can go; carry set when it moved.
move:
        ld c,a
        ld b,0                  ; 1 once moved
        bit 0,c
        call nz,move_up
        bit 1,c
        call nz,move_down
        bit 2,c
        call nz,move_left
        bit 3,c
        call nz,move_right
        ld a,b
        rra
        ret

move_up:
        ld hl,(pos_y)
        ld a,h
        or l
        ret z
        dec hl
        ld (pos_y),hl
        ld hl,(top_left)
        ld e,(ix+P_STRIDE)
        ld d,(ix+P_STRIDE+1)
        or a
        sbc hl,de
        ld (top_left),hl
        ld b,1
        ret

move_down:
        ld hl,(pos_y)
        ld e,(ix+P_MAX_Y)
        ld d,(ix+P_MAX_Y+1)
        or a
        sbc hl,de
        ret nc                  ; already at the last row
        add hl,de
        inc hl
        ld (pos_y),hl
        ld hl,(top_left)
        ld e,(ix+P_STRIDE)
        ld d,(ix+P_STRIDE+1)
        add hl,de
        ld (top_left),hl
        ld b,1
        ret

move_left:
        ld hl,(pos_x)
        ld a,h
        or l
        ret z
        dec hl
        ld (pos_x),hl
        ld hl,(top_left)
        dec hl
        dec hl
        ld (top_left),hl
        ld b,1
        ret

move_right:
        ld hl,(pos_x)
        ld e,(ix+P_MAX_X)
        ld d,(ix+P_MAX_X+1)
        or a
        sbc hl,de
        ret nc                  ; already at the last column
        add hl,de
        inc hl
        ld (pos_x),hl
        ld hl,(top_left)
        inc hl
        inc hl
        ld (top_left),hl
        ld b,1
        ret

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

; Copies P_ROWS rows of P_COLUMNS entries from top_left, each row to the next
; 64 bytes of the name table.
load_names:
        ld hl,(top_left)
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
        ld b,(ix+P_COLUMNS)
names_entry:
        ld a,(hl)
        out (VDP_DATA),a
        inc hl
        nop                     ; spaces the writes for the display
        nop
        ld a,(hl)
        out (VDP_DATA),a
        inc hl
        djnz names_entry
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
