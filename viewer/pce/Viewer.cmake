# The PC Engine viewer: HuC6280 code assembled with cc65's ca65 and ld65 into
# bank 0 of the HuCard (8 KB).
find_program(CA65 ca65 REQUIRED)
find_program(LD65 ld65 REQUIRED)
set(pce_dir ${CMAKE_SOURCE_DIR}/viewer/pce)
set(pce_object ${MORVIK_VIEWER_DIR}/pce_viewer.o)
set(pce_binary ${MORVIK_VIEWER_DIR}/pce_viewer.bin)
add_custom_command(OUTPUT ${pce_binary}
  COMMAND ${CA65} --cpu huc6280 ${pce_dir}/viewer.s -o ${pce_object}
  COMMAND ${LD65} -C ${pce_dir}/viewer.cfg ${pce_object} -o ${pce_binary}
  DEPENDS ${pce_dir}/viewer.s ${pce_dir}/viewer.cfg VERBATIM)
morvik_embed_binary(pceViewer ${pce_binary})
