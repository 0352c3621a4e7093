; PC Engine picture viewer. Bank 0 of the HuCard: sets up the VCE and the
; VDC, copies the palette, the patterns and the name table from the data
; banks after it, shows the picture from its top-left corner and scrolls it
; with the joypad over the part of the map the BAT holds.
;
; Data positions are 24-bit offsets in the ROM file; a data bank is read
; through MPR2 at $4000-$5FFF. The ROM builder writes the PARAMS block.

        .setcpu "huc6280"

VDC_SELECT   = $0000            ; register number (write), status (read)
VDC_LO       = $0002
VDC_HI       = $0003
VCE_CONTROL  = $0400
VCE_ADDR_LO  = $0402
VCE_ADDR_HI  = $0403
VCE_DATA_LO  = $0404
VCE_DATA_HI  = $0405
TIMER_CONTROL = $0C01
JOYPAD       = $1000
IRQ_DISABLE  = $1402

VDC_MAWR = $00
VDC_VWR  = $02
VDC_CR   = $05
VDC_BXR  = $07
VDC_BYR  = $08
VDC_MWR  = $09

WINDOW   = $40                  ; high byte of the MPR2 window

        .segment "ZEROPAGE"
pointer:   .res 2               ; next byte in the window
bank:      .res 1               ; the bank in the window
position:  .res 3               ; a ROM offset for setSource
count:     .res 2               ; words left to copy
column:    .res 1
row:       .res 1
carry:     .res 1
vram:      .res 2               ; BAT address of the current map row
scrollX:   .res 2
scrollY:   .res 2
pad:       .res 1

        .segment "PARAMS"
paletteAt:     .res 3           ; ROM offset of the colour words
paletteWords:  .res 2
patternsAt:    .res 3
patternWords:  .res 2           ; widened to four planes
patternVram:   .res 2           ; first pattern's VRAM word address (after the BAT)
mapAt:         .res 3           ; ROM offset of the name table
mapStride:     .res 2           ; bytes per map row
copyColumns:   .res 1           ; map entries copied per row (1..128)
copyRows:      .res 1           ; map rows copied (1..64)
batColumns:    .res 1           ; 32, 64 or 128
batWords:      .res 2
tileBase:      .res 2           ; added to each entry: patternVram / 16
blankEntry:    .res 2           ; a BAT entry showing a tile of colour 0
blankTileVram: .res 2
memoryWidth:   .res 1           ; MWR: the BAT's size
scrollMaxX:    .res 2
scrollMaxY:    .res 2

        .segment "CODE"
reset:
        sei
        csh                     ; 7.16 MHz
        cld
        ldx #$FF
        txs
        lda #$FF
        tam #$01                ; I/O at $0000
        lda #$F8
        tam #$02                ; RAM at $2000: zero page and stack
        lda #$07
        sta IRQ_DISABLE         ; the VDC's status is polled instead
        stz TIMER_CONTROL
        stz VCE_CONTROL         ; 5.37 MHz dot clock: 256 pixels across
        jsr setUpVdc
        jsr loadPalette
        jsr clearBlankTile
        jsr loadPatterns
        jsr fillBat
        jsr loadMap
        st0 #VDC_CR
        st1 #$88                ; background on, vertical blank flag on
        st2 #$00
mainLoop:
        jsr waitVerticalBlank
        jsr readJoypad
        jsr moveView
        jsr setScroll
        bra mainLoop

setUpVdc:
        ldx #0
@next:  lda vdcSetUp,x
        sta a:VDC_SELECT
        lda vdcSetUp+1,x
        sta a:VDC_LO
        lda vdcSetUp+2,x
        sta a:VDC_HI
        inx
        inx
        inx
        cpx #vdcSetUpEnd - vdcSetUp
        bne @next
        st0 #VDC_MWR
        lda memoryWidth
        sta a:VDC_LO
        st2 #$00
        rts

; Register, low byte, high byte. 32 tiles across, 224 lines from the
; picture's first line.
vdcSetUp:
        .byte $05, $00, $00     ; CR: display off while loading
        .byte $06, $00, $00     ; RCR
        .byte $07, $00, $00     ; BXR
        .byte $08, $00, $00     ; BYR
        .byte $0A, $02, $02     ; HSR
        .byte $0B, $1F, $04     ; HDR
        .byte $0C, $02, $17     ; VPR
        .byte $0D, $DF, $00     ; VDW: 224 lines
        .byte $0E, $03, $00     ; VCR
        .byte $0F, $00, $00     ; DCR
vdcSetUpEnd:

; Points the window at the ROM offset in `position`.
setSource:
        lda position
        sta pointer
        lda position+1
        and #$1F
        ora #WINDOW
        sta pointer+1
        lda position+1
        lsr a
        lsr a
        lsr a
        lsr a
        lsr a
        sta bank
        lda position+2
        asl a
        asl a
        asl a
        ora bank
        sta bank
        tam #$04
        rts

; A = the next data byte; the window moves on at the end of a bank. Keeps X.
nextByte:
        lda (pointer)
        inc pointer
        bne @done
        inc pointer+1
        ldy pointer+1
        cpy #WINDOW + $20
        bne @done
        pha
        lda #WINDOW
        sta pointer+1
        inc bank
        lda bank
        tam #$04
        pla
@done:  rts

; Counts `count` down; Z set when it reaches zero.
countDown:
        lda count
        bne @low
        dec count+1
@low:   dec count
        lda count
        ora count+1
        rts

; VRAM write address = `vram`, then VRAM data is written.
setVramAddress:
        st0 #VDC_MAWR
        lda vram
        sta a:VDC_LO
        lda vram+1
        sta a:VDC_HI
        st0 #VDC_VWR
        rts

loadPalette:
        stz VCE_ADDR_LO
        stz VCE_ADDR_HI
        ldx #2
@copy:  lda paletteAt,x
        sta position,x
        dex
        bpl @copy
        jsr setSource
        lda paletteWords
        sta count
        lda paletteWords+1
        sta count+1
@next:  jsr nextByte
        sta VCE_DATA_LO
        jsr nextByte
        sta VCE_DATA_HI
        jsr countDown
        bne @next
        rts

clearBlankTile:
        lda blankTileVram
        sta vram
        lda blankTileVram+1
        sta vram+1
        jsr setVramAddress
        ldx #16
@next:  st1 #$00
        st2 #$00
        dex
        bne @next
        rts

loadPatterns:
        lda patternVram
        sta vram
        lda patternVram+1
        sta vram+1
        jsr setVramAddress
        ldx #2
@copy:  lda patternsAt,x
        sta position,x
        dex
        bpl @copy
        jsr setSource
        lda patternWords
        sta count
        lda patternWords+1
        sta count+1
@next:  jsr nextByte
        sta a:VDC_LO
        jsr nextByte
        sta a:VDC_HI
        jsr countDown
        bne @next
        rts

; Every BAT entry shows the blank tile until the map covers it.
fillBat:
        stz vram
        stz vram+1
        jsr setVramAddress
        lda batWords
        sta count
        lda batWords+1
        sta count+1
@next:  lda blankEntry
        sta a:VDC_LO
        lda blankEntry+1
        sta a:VDC_HI
        jsr countDown
        bne @next
        rts

; Copies copyRows rows of copyColumns entries, each moved to the patterns'
; place in VRAM by adding tileBase (the palette bits stay as they are).
loadMap:
        stz vram
        stz vram+1
        ldx #2
@start: lda mapAt,x
        sta position,x
        dex
        bpl @start
        lda copyRows
        sta row
@row:   jsr setVramAddress
        jsr setSource
        ldx copyColumns
@entry: jsr nextByte
        clc
        adc tileBase
        sta a:VDC_LO
        lda #0
        adc tileBase+1
        sta carry
        jsr nextByte
        clc
        adc carry
        sta a:VDC_HI
        dex
        bne @entry
        clc                     ; next map row in the ROM
        lda position
        adc mapStride
        sta position
        lda position+1
        adc mapStride+1
        sta position+1
        lda position+2
        adc #0
        sta position+2
        clc                     ; next BAT row
        lda vram
        adc batColumns
        sta vram
        lda vram+1
        adc #0
        sta vram+1
        dec row
        bne @row
        rts

waitVerticalBlank:
@wait:  lda a:VDC_SELECT        ; reading the status clears it
        and #$20
        beq @wait
        rts

; pad: bit 0 up, 1 right, 2 down, 3 left; set while pressed.
readJoypad:
        lda #$01
        sta JOYPAD
        lda #$03                ; reset the multitap to port 1
        sta JOYPAD
        lda #$01
        sta JOYPAD
        nop
        nop
        nop
        nop
        lda JOYPAD
        eor #$FF
        and #$0F
        sta pad
        rts

; Two pixels a frame, within 0..scrollMax (both multiples of 8).
moveView:
        lda pad
        and #$02
        beq @left
        lda scrollX
        cmp scrollMaxX
        bne @right
        lda scrollX+1
        cmp scrollMaxX+1
        beq @left
@right: clc
        lda scrollX
        adc #2
        sta scrollX
        bcc @left
        inc scrollX+1
@left:  lda pad
        and #$08
        beq @down
        lda scrollX
        ora scrollX+1
        beq @down
        sec
        lda scrollX
        sbc #2
        sta scrollX
        bcs @down
        dec scrollX+1
@down:  lda pad
        and #$04
        beq @up
        lda scrollY
        cmp scrollMaxY
        bne @go
        lda scrollY+1
        cmp scrollMaxY+1
        beq @up
@go:    clc
        lda scrollY
        adc #2
        sta scrollY
        bcc @up
        inc scrollY+1
@up:    lda pad
        and #$01
        beq @done
        lda scrollY
        ora scrollY+1
        beq @done
        sec
        lda scrollY
        sbc #2
        sta scrollY
        bcs @done
        dec scrollY+1
@done:  rts

setScroll:
        st0 #VDC_BXR
        lda scrollX
        sta a:VDC_LO
        lda scrollX+1
        sta a:VDC_HI
        st0 #VDC_BYR
        lda scrollY
        sta a:VDC_LO
        lda scrollY+1
        sta a:VDC_HI
        rts

ignore:
        rti

        .segment "VECTORS"
        .word ignore            ; IRQ2 / BRK
        .word ignore            ; IRQ1: VDC
        .word ignore            ; timer
        .word ignore            ; NMI
        .word reset
