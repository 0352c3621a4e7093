# The Super NES viewer: bank 0 of the ROM (program, header, vectors),
# assembled with ca65 and linked with ld65.
find_program(CA65 ca65 REQUIRED)
find_program(LD65 ld65 REQUIRED)
set(snes_dir ${CMAKE_SOURCE_DIR}/viewer/snes)
set(snes_object ${MORVIK_VIEWER_DIR}/snes_viewer.o)
set(snes_binary ${MORVIK_VIEWER_DIR}/snes_viewer.bin)
add_custom_command(OUTPUT ${snes_binary}
  COMMAND ${CA65} --cpu 65816 -o ${snes_object} ${snes_dir}/viewer.s
  COMMAND ${LD65} -C ${snes_dir}/viewer.cfg -o ${snes_binary} -m ${MORVIK_VIEWER_DIR}/snes_viewer.map
          ${snes_object}
  DEPENDS ${snes_dir}/viewer.s ${snes_dir}/viewer.cfg VERBATIM)
morvik_embed_binary(morvik_snes_viewer ${snes_binary})
