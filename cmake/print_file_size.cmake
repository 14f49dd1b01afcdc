# Prints a built file's size after its link (orvex_shipped_program in CMakeLists.txt):
#
#   cmake -DORVEX_FILE=<file> -P cmake/print_file_size.cmake
file(SIZE "${ORVEX_FILE}" bytes)
math(EXPR kib "${bytes} / 1024")
get_filename_component(name "${ORVEX_FILE}" NAME)
message(STATUS "${name}: ${bytes} bytes (${kib} KiB)")
