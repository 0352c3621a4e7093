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

file(GLOB MORVIK_VIEWERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/viewer/*/Viewer.cmake)
foreach(viewer ${MORVIK_VIEWERS})
  include(${viewer})
endforeach()
