# The Super NES viewer: bank 0 of the ROM (program, header, vectors),
# assembled with ca65 and linked with ld65.
morvik_add_ca65_viewer(snes 65816 morvik_snes_viewer)
