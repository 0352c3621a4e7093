# The PC Engine viewer: HuC6280 code assembled with cc65's ca65 and ld65 into
# bank 0 of the HuCard (8 KB).
morvik_add_ca65_viewer(pce huc6280 pceViewer)
