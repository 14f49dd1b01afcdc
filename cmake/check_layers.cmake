# Fails when a source file includes a header of a layer it may not use (README, "Layers"):
#
#   cmake -DORVEX_SOURCE_DIR=<tree> -P cmake/check_layers.cmake
#
# Each layer is a folder and may include only its own headers and those of the layers listed
# for it below. Besides: platform/sim/ and platform/win32/ never include each other, the layers
# above platform/ reach the machine only through the seam's headers (never platform/sim/ or
# platform/win32/; app/win32/ may use platform/win32/scoped_handle.h, the owner of Windows
# handles), and <windows.h> appears only in platform/win32/ and app/win32/. Programs
# (tools/, fuzz/) and tests/ may use every layer.
if(NOT ORVEX_SOURCE_DIR)
  message(FATAL_ERROR "check_layers.cmake: set ORVEX_SOURCE_DIR")
endif()

set(layers base platform common engine probes actions prompts app)
set(uses_base     base)
set(uses_platform base platform)
set(uses_common   base platform common)
set(uses_engine   base platform common engine)
set(uses_probes   base platform common engine probes)
set(uses_actions  base platform common engine probes actions)
set(uses_prompts  base platform common engine probes actions prompts)
set(uses_app      base platform common engine probes actions prompts app)

set(violations "")
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE sources RELATIVE "${ORVEX_SOURCE_DIR}"
       "${ORVEX_SOURCE_DIR}/${layer}/*.h" "${ORVEX_SOURCE_DIR}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${ORVEX_SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS includes)
      if(line MATCHES "<[Ww]indows\\.h>")
        if(NOT source MATCHES "^(platform|app)/win32/")
          string(APPEND violations "  ${source}: <windows.h> outside platform/win32/ and app/win32/\n")
        endif()
        continue()
      endif()
      if(NOT line MATCHES "\"([^\"]+)\"")
        continue()
      endif()
      set(header "${CMAKE_MATCH_1}")
      if(NOT header MATCHES "^([a-z0-9_]+)/")
        continue()
      endif()
      set(target_layer "${CMAKE_MATCH_1}")
      list(FIND layers "${target_layer}" known)
      if(known EQUAL -1)
        string(APPEND violations "  ${source}: includes ${header}, which is in no layer\n")
        continue()
      endif()
      list(FIND uses_${layer} "${target_layer}" allowed)
      if(allowed EQUAL -1)
        string(APPEND violations "  ${source}: includes ${header} (${layer}/ may use: ${uses_${layer}})\n")
      elseif(header MATCHES "^platform/(sim|win32)/")
        set(implementation "${CMAKE_MATCH_1}")
        # The window program is Windows code itself: it shares the Windows handle owner.
        if(header STREQUAL "platform/win32/scoped_handle.h" AND source MATCHES "^app/win32/")
          continue()
        endif()
        if(NOT source MATCHES "^platform/${implementation}/")
          string(APPEND violations "  ${source}: includes ${header}; outside platform/${implementation}/ use the seam's headers\n")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes against the layer order:\n${violations}")
endif()
