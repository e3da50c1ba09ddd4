# Prints a built image's size, the DLLs it imports at load time and, given the linker's
# map, how much each area of the code takes and how much its resources take, by kind.
file(SIZE "${EXE}" size)
get_filename_component(name "${EXE}" NAME)
execute_process(COMMAND i686-w64-mingw32-objdump -p "${EXE}" OUTPUT_VARIABLE dump)
string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
string(REPLACE "DLL Name: " "" dlls "${dlls}")
message(STATUS "${name}: ${size} bytes; imports: ${dlls}")
if(MAP)
  execute_process(COMMAND ${PYTHON} ${SIZE_TOOL} ${MAP} ${EXE} OUTPUT_VARIABLE report
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REPLACE "\n" ";" lines "${report}")
  foreach(line IN LISTS lines)
    message(STATUS "${name}: ${line}")
  endforeach()
endif()
