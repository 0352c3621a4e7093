# The Mega Drive viewer: assembled and linked with the m68k binutils (the
# program at address 0, the decoder's ring buffer in work RAM), cut to a flat
# binary and embedded as megaDriveViewer.
find_program(M68K_AS m68k-linux-gnu-as REQUIRED)
find_program(M68K_LD m68k-linux-gnu-ld REQUIRED)
find_program(M68K_OBJCOPY m68k-linux-gnu-objcopy REQUIRED)

set(smd_dir ${MORVIK_VIEWER_DIR}/smd)
file(MAKE_DIRECTORY ${smd_dir})
add_custom_command(OUTPUT ${smd_dir}/viewer.bin
  COMMAND ${M68K_AS} -m68000 -I ${CMAKE_SOURCE_DIR}/decoder/smd -o ${smd_dir}/viewer.o
          ${CMAKE_SOURCE_DIR}/viewer/smd/viewer.s
  COMMAND ${M68K_LD} -e 0 -Ttext=0 -Tbss=0xFF0000 -o ${smd_dir}/viewer.elf ${smd_dir}/viewer.o
  COMMAND ${M68K_OBJCOPY} -O binary -j .text ${smd_dir}/viewer.elf ${smd_dir}/viewer.bin
  DEPENDS ${CMAKE_SOURCE_DIR}/viewer/smd/viewer.s ${CMAKE_SOURCE_DIR}/decoder/smd/lzss_decode.s
  VERBATIM)
morvik_embed_binary(megaDriveViewer ${smd_dir}/viewer.bin)
