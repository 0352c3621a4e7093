# The Master System / Game Gear viewer, assembled with pasmo.
find_program(PASMO pasmo REQUIRED)
set(SMS_VIEWER_BIN ${MORVIK_VIEWER_DIR}/sms_viewer.bin)
add_custom_command(OUTPUT ${SMS_VIEWER_BIN}
  COMMAND ${CMAKE_COMMAND} -DVIEWER=${CMAKE_SOURCE_DIR}/viewer/sms/viewer.asm
          -DDECODER=${CMAKE_SOURCE_DIR}/decoder/sms/lzss_decode.asm
          -DWORK=${MORVIK_VIEWER_DIR} -DOUT=${SMS_VIEWER_BIN} -DPASMO=${PASMO}
          -P ${CMAKE_SOURCE_DIR}/viewer/sms/Assemble.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/viewer/sms/viewer.asm ${CMAKE_SOURCE_DIR}/decoder/sms/lzss_decode.asm
          ${CMAKE_SOURCE_DIR}/viewer/sms/Assemble.cmake
  VERBATIM)
morvik_embed_binary(morvik_sms_viewer ${SMS_VIEWER_BIN})
