; lzss_decode_vram: unpacks a morvik LZSS stream straight into VRAM on the
; Master System and Game Gear (Z80, WLA-DX syntax).
;
; In:   IX = address of the stream, IY = its length in bytes (0 to 65535).
;       The VRAM write address is already set through the control port ($BF).
; Out:  every decoded byte goes to the data port: out ($BE),a.
; Uses: AF, BC, DE, HL, IY; AF' as well when planes are padded (see below).
;       IX is kept. Interrupts are left as they are.
; RAM:  the ring buffer at LZSS_RING_BUFFER (LZSS_DICTIONARY_SIZE bytes, zeroed
;       at every call) and 8 bytes of stack besides the return address.
;
; Before this file is included, the game defines
;   LZSS_RING_BUFFER  the ring buffer's RAM address; it must be a multiple of
;                     LZSS_DICTIONARY_SIZE (e.g. $C000, which suits every size),
;                     because the ring pointers wrap by masking their high byte;
; and the code file morvik writes with -pack -code defines LZSS_DICTIONARY_SIZE,
; LZSS_THRESHOLD, LZSS_LEN_MASK, LZSS_LEN_BITS, LZSS_MAX_LEN, LZSS_PLANES_USED
; and LZSS_FORMAT_PLANES. The routine is built for one set of these values: all
; the streams it unpacks must share them.
;
; Planes: when a picture needs fewer bit planes (LZSS_PLANES_USED, 1 to 3) than
; the format stores (LZSS_FORMAT_PLANES, 4), each tile row's decoded plane bytes
; are followed by zero bytes up to LZSS_FORMAT_PLANES, so VRAM receives whole
; tiles; AF' then counts the plane bytes of a row. With 0 planes used there are
; no decoded bytes, so nothing at all is written. When the two are equal (and
; with the p1 format) the decoded bytes go out as they are.
;
; Speed: writes to the data port are at least 32 T-states apart (60 without
; padding), more than the VDP needs during active display: the display may
; stay on.
;
; Stream: a flag byte, then up to eight items, flag bit k (least significant
; first) 1 for a literal byte, 0 for a two-byte match; the stream may end
; anywhere, and a match cut after its first byte is dropped.
;
; Syntax: plain Zilog mnemonics; the only directives are .IF and .ENDIF, the
; expressions use + - * / and the comparisons < and >.

lzss_decode_vram:
        ; Zero the ring buffer, 256 bytes a page.
        ld hl,LZSS_RING_BUFFER
        ld b,LZSS_DICTIONARY_SIZE / 256
        xor a
lzss_clear:
        ld (hl),a
        inc l
        ld (hl),a
        inc l
        ld (hl),a
        inc l
        ld (hl),a
        inc l
        jr nz,lzss_clear
        inc h
        djnz lzss_clear

.IF LZSS_FORMAT_PLANES > LZSS_PLANES_USED
.IF LZSS_PLANES_USED > 0
        ld a,LZSS_PLANES_USED   ; A' = plane bytes still to come in this row
        ex af,af'
.ENDIF
.ENDIF
        ; HL = stream pointer, DE = ring write pointer, B = flag bits above a
        ; stop bit, C = stream bytes left in this page + 1 (0 meaning 256),
        ; the high byte of IY = whole pages of 256 stream bytes left after it.
        ld de,LZSS_RING_BUFFER + LZSS_DICTIONARY_SIZE - LZSS_MAX_LEN
        push ix
        pop hl
        push iy
        pop bc
        inc c
        ld b,0                  ; no flag bits yet: the first item reads a flag byte

lzss_next:
        srl b                   ; carry = this item's flag bit
        jr z,lzss_flags         ; only the stop bit was left
lzss_item:
        jr nc,lzss_match

        ; A literal: store it in the ring and send it.
        dec c
        call z,lzss_next_page
        ld a,(hl)
        inc hl
        ld (de),a
        out ($BE),a
.IF LZSS_FORMAT_PLANES > LZSS_PLANES_USED
.IF LZSS_PLANES_USED > 0
        ex af,af'
        dec a
        call z,lzss_pad_row
        ex af,af'
.ENDIF
.ENDIF
        inc e
        jp nz,lzss_next
        ld a,d
        inc a
        and LZSS_DICTIONARY_SIZE / 256 - 1
        or LZSS_RING_BUFFER / 256
        ld d,a
        jp lzss_next

lzss_flags:
        dec c
        call z,lzss_next_page
        ld a,(hl)
        inc hl
        scf                     ; the stop bit
        rra                     ; carry = flag bit of the group's first item
        ld b,a
        jr lzss_item

        ; A match: B0 = position bits 7..0; B1 = position bits 8 and up in its
        ; top bits, length - LZSS_THRESHOLD - 1 in its low LZSS_LEN_BITS bits.
lzss_match:
        dec c
        call z,lzss_next_page
        dec c
        call z,lzss_next_page
        push bc
        ld a,(hl)
        inc hl
        ld b,(hl)
        inc hl
        push hl
        ld l,a
        ld a,b
        ; Rotate the position's high bits (8 - LZSS_LEN_BITS of them) to the bottom.
        rlca
.IF LZSS_LEN_BITS < 7
        rlca
.ENDIF
.IF LZSS_LEN_BITS < 6
        rlca
.ENDIF
.IF LZSS_LEN_BITS < 5
        rlca
.ENDIF
        and LZSS_DICTIONARY_SIZE / 256 - 1
        or LZSS_RING_BUFFER / 256
        ld h,a                  ; HL = ring read pointer
        ld a,b
        and LZSS_LEN_MASK
.IF LZSS_MAX_LEN < 257
        add a,LZSS_THRESHOLD + 1
        ld b,a                  ; B = length (0 meaning 256)
.ENDIF
.IF LZSS_MAX_LEN > 256
        ; Long matches: B = length mod 256 (0 meaning 256), C = passes of B.
        add a,LZSS_THRESHOLD + 1 - (LZSS_THRESHOLD + 1) / 256 * 256
        ld b,a
        ld a,0 + (LZSS_THRESHOLD + 1) / 256
        adc a,0
        ld c,a
        inc b
        dec b
        jr z,lzss_copy
        inc c
.ENDIF
lzss_copy:
        ld a,(hl)
        ld (de),a               ; stored before the next byte is read
        out ($BE),a
.IF LZSS_FORMAT_PLANES > LZSS_PLANES_USED
.IF LZSS_PLANES_USED > 0
        ex af,af'
        dec a
        call z,lzss_pad_row
        ex af,af'
.ENDIF
.ENDIF
        inc l
        jr z,lzss_read_wrap
lzss_copy_read:
        inc e
        jr z,lzss_write_wrap
lzss_copy_next:
        djnz lzss_copy
.IF LZSS_MAX_LEN > 256
        dec c
        jr nz,lzss_copy
.ENDIF
        pop hl
        pop bc
        jp lzss_next

lzss_read_wrap:
        ld a,h
        inc a
        and LZSS_DICTIONARY_SIZE / 256 - 1
        or LZSS_RING_BUFFER / 256
        ld h,a
        jr lzss_copy_read

lzss_write_wrap:
        ld a,d
        inc a
        and LZSS_DICTIONARY_SIZE / 256 - 1
        or LZSS_RING_BUFFER / 256
        ld d,a
        jr lzss_copy_next

        ; Called when C runs out: takes the next page of 256 stream bytes, or
        ; when there is none leaves lzss_decode_vram (the stream has ended).
lzss_next_page:
        push iy
        ex (sp),hl              ; H = pages left
        ld a,h
        dec h
        ex (sp),hl
        pop iy
        or a
        ret nz
        pop hl                  ; drop the return address into the loop
        ret

.IF LZSS_FORMAT_PLANES > LZSS_PLANES_USED
.IF LZSS_PLANES_USED > 0
        ; A row's plane bytes are out (A = 0): send the zero bytes of the
        ; planes not stored and start the next row.
lzss_pad_row:
        out ($BE),a
.IF LZSS_FORMAT_PLANES - LZSS_PLANES_USED > 1
        push af                 ; only spaces the writes out for the VDP
        pop af
        out ($BE),a
.ENDIF
.IF LZSS_FORMAT_PLANES - LZSS_PLANES_USED > 2
        push af
        pop af
        out ($BE),a
.ENDIF
        ld a,LZSS_PLANES_USED
        ret
.ENDIF
.ENDIF
