# Prints a built image's size, the DLLs it imports at load time and how its bytes divide:
# code and data against the budget (BUDGET), resources (by kind) and payload apart.
file(SIZE "${EXE}" size)
get_filename_component(name "${EXE}" NAME)
execute_process(COMMAND i686-w64-mingw32-objdump -p "${EXE}" OUTPUT_VARIABLE dump)
string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
string(REPLACE "DLL Name: " "" dlls "${dlls}")
message(STATUS "${name}: ${size} bytes; imports: ${dlls}")
execute_process(COMMAND ${PYTHON} ${SIZE_TOOL} ${EXE} ${BUDGET}
                OUTPUT_VARIABLE split OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REPLACE "\n" ";" lines "${split}")
foreach(line IN LISTS lines)
  message(STATUS "${name}: ${line}")
endforeach()
