# Windows looks for a DLL that is not on its KnownDLLs list in the program's own folder first,
# and the installer runs elevated from the user's Downloads folder: a DLL put beside it would
# run with administrator rights before any of our code. So every DLL the Windows programs
# import that is not a KnownDLL is delay-loaded: it is loaded on the first call into it, after
# the program has restricted the DLL search to System32 (platform/win32/dll_search.cpp).
#
# For each such DLL an import library of the same name that imports it with delay is made here
# (dlltool -y, from the names the MinGW import library exports) into a folder that the linker
# searches before the toolchain's own: "-lmsi", from our CMake files or from a dependency's
# (libcurl's crypt32, bcrypt, winmm), then finds the delay-loading one. scripts/check-pe.sh
# fails on any static import outside the KnownDLLs.
#
# orvex_delay_imports(DIRECTORY dir DLLS name...) makes the libraries and adds the -L option.

function(orvex_delay_imports)
  cmake_parse_arguments(DELAY "" "DIRECTORY" "DLLS" ${ARGN})
  set(triplet ${ORVEX_MINGW_TRIPLET})
  find_program(ORVEX_DLLTOOL ${triplet}-dlltool REQUIRED)
  find_program(ORVEX_NM ${triplet}-nm REQUIRED)
  file(MAKE_DIRECTORY ${DELAY_DIRECTORY})
  foreach(name IN LISTS DELAY_DLLS)
    set(import_library /usr/${triplet}/lib/lib${name}.a)
    if(NOT EXISTS ${import_library})
      message(FATAL_ERROR "delay imports: ${import_library} not found")
    endif()
    set(delay_library ${DELAY_DIRECTORY}/lib${name}.a)
    if(EXISTS ${delay_library} AND ${delay_library} IS_NEWER_THAN ${import_library}
       AND ${delay_library} IS_NEWER_THAN ${CMAKE_CURRENT_FUNCTION_LIST_FILE})
      continue()
    endif()
    orvex_write_delay_library(${name} ${import_library} ${delay_library})
  endforeach()
  add_link_options(-L${DELAY_DIRECTORY})
endfunction()

# The DLL's file name and exported functions, read from the MinGW import library, into a .def
# file, and the delay-import library made from it.
function(orvex_write_delay_library name import_library delay_library)
  execute_process(COMMAND ${ORVEX_NM} ${import_library} OUTPUT_VARIABLE symbols
                  RESULT_VARIABLE failed)
  execute_process(COMMAND ${ORVEX_DLLTOOL} --identify ${import_library}
                  OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed OR dll STREQUAL "")
    message(FATAL_ERROR "delay imports: cannot read ${import_library}")
  endif()
  # "__imp_Name" (x86_64) or "__imp__Name@8" (i686, stdcall names with their argument bytes).
  string(REGEX MATCHALL "[ \t]I __imp_[^\r\n]+" imports "${symbols}")
  set(exports "")
  foreach(import IN LISTS imports)
    string(REGEX REPLACE "^[ \t]I __imp_" "" export "${import}")
    if(ORVEX_MINGW_TRIPLET STREQUAL "i686-w64-mingw32")
      string(REGEX REPLACE "^_" "" export "${export}")
    endif()
    list(APPEND exports "${export}")
  endforeach()
  list(REMOVE_DUPLICATES exports)
  if(NOT exports)
    message(FATAL_ERROR "delay imports: ${import_library} exports nothing")
  endif()
  list(JOIN exports "\n  " export_lines)
  set(definitions ${delay_library}.def)
  file(WRITE ${definitions} "LIBRARY \"${dll}\"\nEXPORTS\n  ${export_lines}\n")
  # -k: the DLL exports the stdcall names without their "@n".
  execute_process(COMMAND ${ORVEX_DLLTOOL} -k -d ${definitions} -D ${dll} -y ${delay_library}
                  RESULT_VARIABLE failed ERROR_VARIABLE messages)
  if(failed)
    message(FATAL_ERROR "delay imports: dlltool failed for ${dll}: ${messages}")
  endif()
endfunction()
