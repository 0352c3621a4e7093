| lzss_decode.s - morvik's LZSS decoder for the Mega Drive (68000, GNU as).
|
| Included by the code file morvik writes (-target smd -pack -code), after the
| lines that define LZSS_DICTIONARY_SIZE, LZSS_THRESHOLD, LZSS_LEN_BITS,
| LZSS_LEN_MASK and LZSS_MAX_LEN with .EQU. It decodes one stream straight
| into VRAM through the VDP data port.
|
| lzss_decode_vram
|   In:   A2 = address of the stream (any address, even or odd)
|         D0.L = length of the stream in bytes (0 writes nothing)
|         The caller has set the VDP's VRAM write address and an
|         auto-increment of 2, and keeps interrupt handlers off the VDP
|         ports until the routine returns.
|   Out:  the decoded bytes written to the VDP data port ($C00000), one word
|         per two bytes, the earlier byte in the high half. When the data has
|         an odd length the last byte goes out as a word of its own, that byte
|         in the high half and 0 in the low half.
|   Keeps every data and address register (D0 and A2 included); only the
|   condition codes change. Stack: 44 bytes for the saved registers, besides
|   the return address.
|   RAM:  lzss_ring_buffer, LZSS_DICTIONARY_SIZE bytes in .bss, cleared at
|         every call.
|
| The stream: groups of a flag byte and up to eight items; flag bit k (least
| significant first) is 1 for a literal byte, 0 for a two-byte match. Match
| bytes B0 B1: ring position P = B0 | (B1 >> LZSS_LEN_BITS) << 8, length
| (B1 & LZSS_LEN_MASK) + LZSS_THRESHOLD + 1, copied one byte at a time from P
| on, so a match may overlap its own output. Every byte decoded is also stored
| in a ring of LZSS_DICTIONARY_SIZE bytes, all zero at the start, from
| position LZSS_DICTIONARY_SIZE - LZSS_MAX_LEN on. The stream ends where its
| length runs out, at any byte; a match cut after its first byte is dropped.
|
| How it runs: ring position P is kept at offset P + LZSS_RING_BIAS (modulo
| the size) of the buffer, the bias chosen so that the first byte decoded
| lands at an even offset. Bytes 2k and 2k + 1 of the output then always sit
| side by side at an even address, and the second one's store is followed by
| a single word move from the ring to the VDP. The parity of the write offset
| is known from where the code is: the "even" half runs while it is even, the
| "odd" half while it is odd. The flag byte sits in D1 above a sentinel bit;
| when a shift leaves D1 zero the sentinel came out into X, and the next
| flag byte is rotated through X so the sentinel goes in at its top.
|
| Registers inside:
|   D0 match length - 1 (dbra counter)   A0 ring buffer
|   D1 flag bits and sentinel            A1 VDP data port
|   D3 write offset into the ring        A2 next stream byte
|   D4 ring size - 1                     A3 end of the stream
|   D5 match source offset               D2, D6 scratch

        .equ    LZSS_RING_MASK, LZSS_DICTIONARY_SIZE - 1
        .equ    LZSS_POSITION_SHIFT, 8 - LZSS_LEN_BITS
        .equ    LZSS_POSITION_HIGH_MASK, ((LZSS_RING_MASK >> 8) << LZSS_LEN_BITS) & 0xFF
        .equ    LZSS_RING_BIAS, LZSS_MAX_LEN & 1
        .equ    LZSS_RING_START, LZSS_DICTIONARY_SIZE - LZSS_MAX_LEN + LZSS_RING_BIAS
        .equ    LZSS_VDP_DATA, 0xC00000

        .pushsection .bss
        .balign 4
        .globl  lzss_ring_buffer
        .type   lzss_ring_buffer, @object
lzss_ring_buffer:
        .skip   LZSS_DICTIONARY_SIZE
        .size   lzss_ring_buffer, LZSS_DICTIONARY_SIZE
        .popsection

        .balign 2
        .globl  lzss_decode_vram
        .type   lzss_decode_vram, @function
lzss_decode_vram:
        movem.l %d0-%d6/%a0-%a3,-(%sp)

        | Clear the ring, 32 bytes a pass (the size is a multiple of 512).
        lea     lzss_ring_buffer,%a0
        moveq   #0,%d2
        move.w  #LZSS_DICTIONARY_SIZE/32-1,%d1
.Llzss_clear:
        move.l  %d2,(%a0)+
        move.l  %d2,(%a0)+
        move.l  %d2,(%a0)+
        move.l  %d2,(%a0)+
        move.l  %d2,(%a0)+
        move.l  %d2,(%a0)+
        move.l  %d2,(%a0)+
        move.l  %d2,(%a0)+
        dbra    %d1,.Llzss_clear

        lea     lzss_ring_buffer,%a0
        lea     LZSS_VDP_DATA,%a1
        lea     (%a2,%d0.l),%a3
        move.w  #LZSS_RING_MASK,%d4
        move.w  #LZSS_RING_START,%d3
        moveq   #1,%d1                   | the sentinel alone: read a flag byte first

| ---- Write offset even: the next byte starts a word. ----
.Llzss_even_item:
        lsr.b   #1,%d1
        jbeq    .Llzss_even_flags
.Llzss_even_have:
        jbcc    .Llzss_even_match
        cmpa.l  %a3,%a2
        jbcc    .Llzss_done
        move.b  (%a2)+,(%a0,%d3.w)
        addq.w  #1,%d3                   | even + 1 never wraps

| ---- Write offset odd: the next byte completes a word. ----
.Llzss_odd_item:
        lsr.b   #1,%d1
        jbeq    .Llzss_odd_flags
.Llzss_odd_have:
        jbcc    .Llzss_odd_match
        cmpa.l  %a3,%a2
        jbcc    .Llzss_done_odd
        move.b  (%a2)+,(%a0,%d3.w)
        move.w  -1(%a0,%d3.w),(%a1)
        addq.w  #1,%d3
        and.w   %d4,%d3
        jra     .Llzss_even_item

| A byte is left over: send it in the high half of a word, 0 in the low half.
.Llzss_done_odd:
        move.w  -1(%a0,%d3.w),%d2
        clr.b   %d2
        move.w  %d2,(%a1)
.Llzss_done:
        movem.l (%sp)+,%d0-%d6/%a0-%a3
        rts

.Llzss_even_flags:
        cmpa.l  %a3,%a2
        jbcc    .Llzss_done
        move.b  (%a2)+,%d1
        roxr.b  #1,%d1                   | X (the old sentinel) in at bit 7, bit 0 out to C
        jra     .Llzss_even_have

.Llzss_odd_flags:
        cmpa.l  %a3,%a2
        jbcc    .Llzss_done_odd
        move.b  (%a2)+,%d1
        roxr.b  #1,%d1
        jra     .Llzss_odd_have

| Reads a match's two bytes: D5 = source offset, D0 = length - 1. Leaves
| through `cut` when the stream ends before the match is whole.
        .macro  lzss_read_match cut
        cmpa.l  %a3,%a2
        jbcc    \cut
        moveq   #0,%d5
        move.b  (%a2)+,%d5
        cmpa.l  %a3,%a2
        jbcc    \cut
        moveq   #0,%d0
        move.b  (%a2)+,%d0
        move.w  %d0,%d6
        and.w   #LZSS_POSITION_HIGH_MASK,%d6
        lsl.w   #LZSS_POSITION_SHIFT,%d6
        or.w    %d6,%d5
        .if     LZSS_RING_BIAS
        addq.w  #1,%d5
        and.w   %d4,%d5
        .endif
        and.w   #LZSS_LEN_MASK,%d0
        .if     LZSS_THRESHOLD >= 1 && LZSS_THRESHOLD <= 8
        addq.w  #LZSS_THRESHOLD,%d0
        .elseif LZSS_THRESHOLD > 8
        add.w   #LZSS_THRESHOLD,%d0
        .endif
        .endm

.Llzss_even_match:
        lzss_read_match .Llzss_done
        | fall into the copy loop at its even half

| The copy loop, two bytes a turn; each byte is stored before the next is
| read, so a source overlapping the output repeats it.
.Llzss_copy_even:
        move.b  (%a0,%d5.w),(%a0,%d3.w)
        addq.w  #1,%d5
        and.w   %d4,%d5
        addq.w  #1,%d3
        dbra    %d0,.Llzss_copy_odd
        jra     .Llzss_odd_item

.Llzss_odd_match:
        lzss_read_match .Llzss_done_odd

.Llzss_copy_odd:
        move.b  (%a0,%d5.w),(%a0,%d3.w)
        move.w  -1(%a0,%d3.w),(%a1)
        addq.w  #1,%d5
        and.w   %d4,%d5
        addq.w  #1,%d3
        and.w   %d4,%d3
        dbra    %d0,.Llzss_copy_even
        jra     .Llzss_even_item
        .size   lzss_decode_vram, . - lzss_decode_vram
