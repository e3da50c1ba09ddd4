# Prints a built image's size, the DLLs it imports at load time and, given the linker's
# map, how much each area of the code takes.
file(SIZE "${EXE}" size)
get_filename_component(name "${EXE}" NAME)
execute_process(COMMAND i686-w64-mingw32-objdump -p "${EXE}" OUTPUT_VARIABLE dump)
string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
string(REPLACE "DLL Name: " "" dlls "${dlls}")
message(STATUS "${name}: ${size} bytes; imports: ${dlls}")
if(MAP)
  execute_process(COMMAND ${PYTHON} ${SIZE_TOOL} ${MAP} OUTPUT_VARIABLE areas OUTPUT_STRIP_TRAILING_WHITESPACE)
  message(STATUS "${name}: ${areas}")
endif()
