# Prints a built image's size and the DLLs it imports at load time.
file(SIZE "${EXE}" size)
get_filename_component(name "${EXE}" NAME)
execute_process(COMMAND i686-w64-mingw32-objdump -p "${EXE}" OUTPUT_VARIABLE dump)
string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
string(REPLACE "DLL Name: " "" dlls "${dlls}")
message(STATUS "${name}: ${size} bytes; imports: ${dlls}")
