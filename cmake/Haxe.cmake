# ActionScript 3 movies written in Haxe, compiled when the project is built: no movie is kept in
# the sources, only the code it is made from.
find_program(HAXE_EXECUTABLE haxe DOC "The Haxe compiler, for the project's own movies")
if(NOT HAXE_EXECUTABLE)
  message(FATAL_ERROR "The Haxe compiler (haxe) was not found: install the Debian package haxe "
                      "(scripts/setup.sh does), or pass -DHAXE_EXECUTABLE=PATH")
endif()

# pagewend_haxe_movie(<target> OUTPUT <swf> MAIN <class> SOURCE_DIR <dir> HEADER <w:h:fps:colour>
#                     [VERSION <swf version>])
# Compiles the class MAIN found in SOURCE_DIR into the movie OUTPUT, made again whenever a .hx file
# under SOURCE_DIR changes, and adds the target <target> (built by default) that makes it.
function(pagewend_haxe_movie target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT;MAIN;SOURCE_DIR;HEADER;VERSION" "")
  foreach(required OUTPUT MAIN SOURCE_DIR HEADER)
    if(NOT arg_${required})
      message(FATAL_ERROR "pagewend_haxe_movie(${target}): ${required} is required")
    endif()
  endforeach()
  if(NOT arg_VERSION)
    set(arg_VERSION 10)
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${arg_SOURCE_DIR}/*.hx)
  get_filename_component(folder ${arg_OUTPUT} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  # Haxe names the movie's boot class after the file it writes, so the same name every time keeps
  # the output the same byte for byte. A failed compile leaves the last good movie in place.
  set(partial ${arg_OUTPUT}.part)
  add_custom_command(
    OUTPUT ${arg_OUTPUT}
    COMMAND ${HAXE_EXECUTABLE} --class-path ${arg_SOURCE_DIR} --main ${arg_MAIN} --swf ${partial}
      --swf-version ${arg_VERSION} --swf-header ${arg_HEADER} --no-traces
    COMMAND ${CMAKE_COMMAND} -E rename ${partial} ${arg_OUTPUT}
    DEPENDS ${sources}
    COMMENT "Compiling the movie ${arg_MAIN} (Haxe)"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${arg_OUTPUT})
endfunction()
