# Flags and helpers shared by every target.

# Freestanding product code: no exceptions, no RTTI, no unwind tables, the strong stack
# protector with the runtime's own guard. Functions get sections of their own so the
# linker drops unused ones; data does not, since this compiler then stores zero-filled
# variables in the file instead of leaving them to .bss.
set(NIMB_FREESTANDING_FLAGS
  -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
  -fno-threadsafe-statics -fstack-protector-strong -ffunction-sections
  -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)

# Link flags of a program that has no C runtime: our own entry point, only the import
# libraries named by the caller, and libgcc for 64-bit division and stack probes.
set(NIMB_NOCRT_LINK_FLAGS
  -nostdlib -nostartfiles -static-libgcc -Wl,-e,_rtStartupExeEntry -Wl,--gc-sections
  -Wl,--enable-stdcall-fixup -Wl,--nxcompat -Wl,--dynamicbase)

# The product is built for size and optimised across files at link time; its archives are
# made with gcc-ar (the toolchain's CMAKE_AR) so that the linker sees their compiler output.
# -Oz over -Os: shorter encodings where they cost a few cycles, about 1 KiB less code
# (the C library's primitives, which carry the hot loops, stay at -Os: Runtime/CMakeLists.txt).
# Frames over a page are probed inline, one page at a time from the top, as the stack's
# guard page needs (-fstack-clash-protection), instead of through libgcc's probe: that
# probe makes the compiler reserve every call's arguments in the frame and store them with
# long moves, where pushes do (about 2.8 KiB less code). The stack is kept to the 4-byte
# alignment the platform's calling convention promises, without padding at every call
# (about 1.4 KiB); a function that needs more realigns its own frame. Switches compile to
# compares: a table costs four bytes and a relocation per case, 530 bytes more in all, and
# none is on a hot path. Static arrays keep the alignment of their element type instead of
# being padded to 32 bytes each for faster block moves (-malign-data=abi, about 300 bytes of
# data); none is copied in bulk.
set(NIMB_LEAN_FLAGS -Oz -flto -fomit-frame-pointer -mno-stack-arg-probe -fstack-clash-protection -mpreferred-stack-boundary=2 -fno-jump-tables -malign-data=abi)

# Environment of every test run under Wine: the private prefix, no logging, no optional
# runtime installers offered by Wine itself. (The test programs know the build and source
# folders from their compile definitions.)
set(NIMB_TEST_ENV
  "WINEPREFIX=${NIMB_WINEPREFIX}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")

# A GUI program without a C runtime, linked against the runtime's start-up (whose objects
# come ahead of the runtime: Runtime/CMakeLists.txt).
function(nimb_add_nocrt_executable name)
  add_executable(${name} ${ARGN})
  target_compile_options(${name} PRIVATE ${NIMB_FREESTANDING_FLAGS})
  target_link_options(${name} PRIVATE ${NIMB_NOCRT_LINK_FLAGS} -mwindows)
  target_link_libraries(${name} PRIVATE nimbrt-nocrt)
endfunction()

# A test program that may use the platform's C runtime and GoogleTest.
function(nimb_add_gtest name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE nimbrt gtest gmock gtest_main ssp)
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  target_compile_definitions(${name} PRIVATE "NIMB_BUILD_DIR=\"${CMAKE_BINARY_DIR}\""
                                             "NIMB_SOURCE_DIR=\"${CMAKE_SOURCE_DIR}\"")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  # Test programs named "...-gui" show windows: they run on a virtual display.
  if(name MATCHES "-gui$")
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run-display.sh
                                  $<TARGET_FILE:${name}> --gtest_brief=1)
  else()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${NIMB_TEST_ENV}" TIMEOUT 300 LABELS wine)
endfunction()

# Lazy bindings of system libraries: one generated source per table (tools/gen-lazy.py),
# into the build tree's generated/lazy folder. Sets @p out_var to the generated sources.
function(nimb_lazy_bindings out_var)
  set(gen_dir ${CMAKE_BINARY_DIR}/generated/lazy)
  set(gen_tool ${CMAKE_SOURCE_DIR}/tools/gen-lazy.py)
  set(outputs)
  foreach(table IN LISTS ARGN)
    get_filename_component(stem ${table} NAME_WE)
    set(out ${gen_dir}/lazy-${stem}.cpp)
    add_custom_command(
      OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${gen_dir}
      COMMAND ${Python3_EXECUTABLE} -B ${gen_tool} ${table} ${out}
      DEPENDS ${table} ${gen_tool} ${CMAKE_SOURCE_DIR}/tools/genfiles.py
      COMMENT "Generating the lazy bindings of ${stem}")
    list(APPEND outputs ${out})
  endforeach()
  set(${out_var} ${outputs} PARENT_SCOPE)
endfunction()
