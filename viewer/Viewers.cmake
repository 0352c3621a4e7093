# The viewer programs of -rom, one folder per console, each with a Viewer.cmake
# that assembles its program into a binary and embeds it with
# morvik_embed_binary(<symbol> <binary>).
set(MORVIK_VIEWER_DIR ${CMAKE_BINARY_DIR}/viewer)
file(MAKE_DIRECTORY ${MORVIK_VIEWER_DIR})

function(morvik_embed_binary symbol binary)
  set(source ${MORVIK_VIEWER_DIR}/${symbol}.cpp)
  add_custom_command(OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} -DIN=${binary} -DOUT=${source} -DSYMBOL=${symbol}
            -P ${CMAKE_SOURCE_DIR}/viewer/EmbedBinary.cmake
    DEPENDS ${binary} ${CMAKE_SOURCE_DIR}/viewer/EmbedBinary.cmake VERBATIM)
  target_sources(morvik-core PRIVATE ${source})
endfunction()

# Assembles viewer/<folder>/viewer.s for `cpu` with ca65 and links it with
# viewer/<folder>/viewer.cfg into ${MORVIK_VIEWER_DIR}/<folder>_viewer.bin,
# embedded as `symbol`.
function(morvik_add_ca65_viewer folder cpu symbol)
  find_program(CA65 ca65 REQUIRED)
  find_program(LD65 ld65 REQUIRED)
  set(dir ${CMAKE_SOURCE_DIR}/viewer/${folder})
  set(object ${MORVIK_VIEWER_DIR}/${folder}_viewer.o)
  set(binary ${MORVIK_VIEWER_DIR}/${folder}_viewer.bin)
  add_custom_command(OUTPUT ${binary}
    COMMAND ${CA65} --cpu ${cpu} -o ${object} ${dir}/viewer.s
    COMMAND ${LD65} -C ${dir}/viewer.cfg -o ${binary} -m ${MORVIK_VIEWER_DIR}/${folder}_viewer.map
            ${object}
    DEPENDS ${dir}/viewer.s ${dir}/viewer.cfg VERBATIM)
  morvik_embed_binary(${symbol} ${binary})
endfunction()

file(GLOB MORVIK_VIEWERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/viewer/*/Viewer.cmake)
foreach(viewer ${MORVIK_VIEWERS})
  include(${viewer})
endforeach()
