# Builds the Master System / Game Gear viewer: the program, then the shipped
# decoder with its WLA conditionals written in pasmo's words, then the label
# the ROM builder's data follows. Run with -P; VIEWER, DECODER, WORK, OUT and
# PASMO are given.
file(READ ${VIEWER} viewer)
file(READ ${DECODER} decoder)
string(REGEX REPLACE "(^|\n)[ \t]*\\.IF " "\\1IF " decoder "${decoder}")
string(REGEX REPLACE "(^|\n)[ \t]*\\.ENDIF" "\\1ENDIF" decoder "${decoder}")
if(decoder MATCHES "(^|\n)[ \t]*\\.[A-Za-z]")
  message(FATAL_ERROR "${DECODER} has a directive this build does not translate")
endif()
set(source ${WORK}/sms_viewer.asm)
file(WRITE ${source} "${viewer}\n${decoder}\nviewer_end:\n")
execute_process(COMMAND ${PASMO} --bin ${source} ${OUT} ${WORK}/sms_viewer.sym
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  file(REMOVE ${OUT})
  message(FATAL_ERROR "pasmo failed on ${source}:\n${output}")
endif()
