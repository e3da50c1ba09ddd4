# Packing installers during the build, and the publisher certificate they are signed with.
#
#   nimb_pack_installer(<name> OUTPUT <file> [STUB <exe>]
#                       PACKAGES <file> <arch> [<file> <arch> ...]
#                       [SIGN] [SIGN_KEY <pem> SIGN_CERT <pem> | SIGN_PKCS12 <pfx>]
#                       [SIGN_PASS_FILE <file> | SIGN_PASS_ENV <variable>]
#                       [TIMESTAMP_URLS <url> ...] [EXPECT_PUBLISHER <cert>]
#                       [VERSION_INFO <field>=<value> ...] [ICON <file.ico>]
#                       [WITHOUT_DIGESTS] [DEPENDS <target> ...])
#
# Adds the target <name> (built by default) that writes <file>: a copy of the stub
# (default: the NimbStub target's executable) carrying the packages in the order given,
# each with its architecture (any, x86, amd64 or x64, or a raw number for test fixtures)
# and stored under its own file name. The options are the packer's (see nimbpack.py
# --help):
#   SIGN              sign with NIMB_SIGN_KEY and NIMB_SIGN_CERT, or NIMB_SIGN_PKCS12, the
#                     passphrase from NIMB_SIGN_PASS_FILE or NIMB_SIGN_PASS_ENV, timestamped
#                     by NIMB_TIMESTAMP_URLS when set, at the fixed time NIMB_SIGN_TIME, so
#                     that a rebuild gives the same bytes (a timestamp apart);
#   SIGN_KEY, SIGN_CERT, SIGN_PKCS12, SIGN_PASS_FILE, SIGN_PASS_ENV, TIMESTAMP_URLS
#                     the same for this installer alone (they imply SIGN);
#   EXPECT_PUBLISHER  refuse unless the stub carries this publisher certificate;
#   VERSION_INFO      version block strings, e.g. "ProductName=My Product" FileVersion=2.1.0;
#   ICON              the installer's icon in place of the stub's.
#   WITHOUT_DIGESTS   pack by the stub's payload layout less its package digests, as the
#                     packer did before it recorded them (for test fixtures and benchmarks).
# DEPENDS names targets that make the package files.

set(NIMB_PACKER ${CMAKE_SOURCE_DIR}/Installer/host/Packer/nimbpack.py)
file(GLOB NIMB_PACKER_MODULES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/Installer/host/Packer/*.py)
set(NIMB_PAYLOAD_LAYOUT ${CMAKE_SOURCE_DIR}/Installer/win/Stub/NimbStubPayload.h)
set(NIMB_PAYLOAD_LAYOUT_UNDIGESTED ${CMAKE_BINARY_DIR}/generated/payload-layout-without-digests.h)
add_custom_command(OUTPUT ${NIMB_PAYLOAD_LAYOUT_UNDIGESTED}
  COMMAND ${Python3_EXECUTABLE} -c "import re, sys; lines = open(sys.argv[1]).readlines(); open(sys.argv[2], 'w').writelines(l for l in lines if not re.search(r'constexpr .*PAYLOAD_DIGEST', l))"
          ${NIMB_PAYLOAD_LAYOUT} ${NIMB_PAYLOAD_LAYOUT_UNDIGESTED}
  DEPENDS ${NIMB_PAYLOAD_LAYOUT}
  VERBATIM)
add_custom_target(payload-layout-undigested DEPENDS ${NIMB_PAYLOAD_LAYOUT_UNDIGESTED})

# The publisher certificate: a DER file given at configure time, or else a test
# code-signing certificate the build makes for itself. Its private key stays in the build
# tree: it signs, and is never compiled into anything.
set(NIMB_PUBLISHER_CERT "" CACHE FILEPATH
    "DER-encoded publisher certificate to embed (default: a test certificate made by the build)")
set(NIMB_SIGN_KEY "" CACHE FILEPATH "PEM private key that signs packed installers")
set(NIMB_SIGN_CERT "" CACHE FILEPATH "PEM certificate that goes with NIMB_SIGN_KEY")
set(NIMB_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file that signs packed installers (in place of NIMB_SIGN_KEY)")
set(NIMB_SIGN_PASS_FILE "" CACHE FILEPATH "File whose first line is the signing key's passphrase")
set(NIMB_SIGN_PASS_ENV "" CACHE STRING "Environment variable that holds the signing key's passphrase")
set(NIMB_TIMESTAMP_URLS "" CACHE STRING "RFC 3161 time-stamping servers for signed installers, tried in order")
set(NIMB_TEST_CERT_DIR ${CMAKE_BINARY_DIR}/certs)

if(NOT NIMB_PUBLISHER_CERT)
  set(key ${NIMB_TEST_CERT_DIR}/test-publisher.key.pem)
  set(pem ${NIMB_TEST_CERT_DIR}/test-publisher.cert.pem)
  set(der ${NIMB_TEST_CERT_DIR}/test-publisher.cer)
  if(NOT EXISTS ${der})
    file(MAKE_DIRECTORY ${NIMB_TEST_CERT_DIR})
    execute_process(
      COMMAND openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days 3650
              -subj "/CN=Nimbrel Test Publisher/O=Nimbrel"
              -addext "keyUsage=critical,digitalSignature"
              -addext "extendedKeyUsage=codeSigning"
              -keyout ${key} -out ${pem}
      RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    if(rc EQUAL 0)
      execute_process(COMMAND openssl x509 -in ${pem} -outform DER -out ${der} RESULT_VARIABLE rc ERROR_VARIABLE err)
    endif()
    if(NOT rc EQUAL 0)
      file(REMOVE ${key} ${pem} ${der})
      message(FATAL_ERROR "Could not make the test publisher certificate with openssl: ${err}")
    endif()
    # The signing time of packed installers: when the certificate was made, inside its
    # validity and the same for every rebuild of this tree.
    string(TIMESTAMP made "%s" UTC)
    file(WRITE ${NIMB_TEST_CERT_DIR}/made-at.txt "${made}")
  endif()
  set(NIMB_PUBLISHER_CERT_DER ${der})
  if(NOT NIMB_SIGN_KEY AND NOT NIMB_SIGN_PKCS12)
    set(NIMB_SIGN_KEY ${key})
    set(NIMB_SIGN_CERT ${pem})
  endif()
  file(READ ${NIMB_TEST_CERT_DIR}/made-at.txt sign_time)
else()
  set(NIMB_PUBLISHER_CERT_DER ${NIMB_PUBLISHER_CERT})
  string(TIMESTAMP sign_time "%s" UTC)
endif()
# Kept from the first configuration on, so that a rebuild signs with the same time.
set(NIMB_SIGN_TIME ${sign_time} CACHE STRING "Signing time of packed installers, Unix seconds")

# A DER certificate is one SEQUENCE; anything else is the wrong file.
if(NOT EXISTS ${NIMB_PUBLISHER_CERT_DER})
  message(FATAL_ERROR "Publisher certificate '${NIMB_PUBLISHER_CERT_DER}' does not exist")
endif()
file(READ ${NIMB_PUBLISHER_CERT_DER} first_byte LIMIT 1 HEX)
if(NOT first_byte STREQUAL "30")
  message(FATAL_ERROR "Publisher certificate '${NIMB_PUBLISHER_CERT_DER}' is not DER (no SEQUENCE at its start)")
endif()

# The table of embedded certificates, generated from the DER file (which the generator
# checks in full) into a source of the stub's library.
function(nimb_add_embedded_certificates target)
  set(out ${CMAKE_BINARY_DIR}/generated/NimbStubCertificates.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/gen-certificates.py ${out} ${NIMB_PUBLISHER_CERT_DER}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen-certificates.py ${CMAKE_SOURCE_DIR}/tools/genfiles.py
            ${NIMB_PUBLISHER_CERT_DER}
    COMMENT "Embedding the publisher certificate"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()

function(nimb_pack_installer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "SIGN;WITHOUT_DIGESTS"
    "OUTPUT;STUB;SIGN_KEY;SIGN_CERT;SIGN_PKCS12;SIGN_PASS_FILE;SIGN_PASS_ENV;EXPECT_PUBLISHER;ICON"
    "PACKAGES;DEPENDS;TIMESTAMP_URLS;VERSION_INFO")
  if(NOT arg_OUTPUT)
    message(FATAL_ERROR "nimb_pack_installer(${name}): OUTPUT is required")
  endif()
  list(LENGTH arg_PACKAGES n)
  math(EXPR odd "${n} % 2")
  if(odd OR n EQUAL 0)
    message(FATAL_ERROR "nimb_pack_installer(${name}): PACKAGES takes pairs of <file> <arch>")
  endif()
  set(stub ${arg_STUB})
  set(stub_dep ${arg_STUB})
  if(NOT stub)
    set(stub $<TARGET_FILE:NimbStub>)
    set(stub_dep NimbStub)
  endif()
  set(args --stub ${stub} --output ${arg_OUTPUT})
  set(files)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET arg_PACKAGES ${i} file)
    list(GET arg_PACKAGES ${j} arch)
    list(APPEND args --package ${file} ${arch})
    list(APPEND files ${file})
  endforeach()

  # Signing: this call's own identity, else the build's.
  if(arg_SIGN_KEY OR arg_SIGN_CERT OR arg_SIGN_PKCS12 OR arg_SIGN_PASS_FILE OR arg_SIGN_PASS_ENV
     OR arg_TIMESTAMP_URLS)
    set(arg_SIGN TRUE)
  endif()
  if(arg_SIGN)
    if(NOT arg_SIGN_KEY AND NOT arg_SIGN_PKCS12)
      foreach(option SIGN_KEY SIGN_CERT SIGN_PKCS12 SIGN_PASS_FILE SIGN_PASS_ENV)
        if(NOT arg_${option})
          set(arg_${option} ${NIMB_${option}})
        endif()
      endforeach()
    endif()
    if(NOT arg_TIMESTAMP_URLS)
      set(arg_TIMESTAMP_URLS ${NIMB_TIMESTAMP_URLS})
    endif()
    if(arg_SIGN_PKCS12)
      list(APPEND args --sign-pkcs12 ${arg_SIGN_PKCS12})
      list(APPEND files ${arg_SIGN_PKCS12})
    elseif(arg_SIGN_KEY AND arg_SIGN_CERT)
      list(APPEND args --sign-key ${arg_SIGN_KEY} --sign-cert ${arg_SIGN_CERT})
      list(APPEND files ${arg_SIGN_KEY} ${arg_SIGN_CERT})
    else()
      message(FATAL_ERROR "nimb_pack_installer(${name}): signing needs SIGN_KEY and SIGN_CERT, or SIGN_PKCS12 "
                          "(or NIMB_SIGN_KEY and NIMB_SIGN_CERT, or NIMB_SIGN_PKCS12)")
    endif()
    if(arg_SIGN_PASS_FILE)
      list(APPEND args --sign-pass-file ${arg_SIGN_PASS_FILE})
    elseif(arg_SIGN_PASS_ENV)
      list(APPEND args --sign-pass-env ${arg_SIGN_PASS_ENV})
    endif()
    foreach(url IN LISTS arg_TIMESTAMP_URLS)
      list(APPEND args --timestamp-url ${url})
    endforeach()
    list(APPEND args --sign-time ${NIMB_SIGN_TIME})
  endif()
  if(arg_EXPECT_PUBLISHER)
    list(APPEND args --expect-publisher ${arg_EXPECT_PUBLISHER})
    list(APPEND files ${arg_EXPECT_PUBLISHER})
  endif()
  foreach(field IN LISTS arg_VERSION_INFO)
    list(APPEND args --version-info ${field})
  endforeach()
  if(arg_ICON)
    list(APPEND args --icon ${arg_ICON})
    list(APPEND files ${arg_ICON})
  endif()
  set(layout ${NIMB_PAYLOAD_LAYOUT})
  if(arg_WITHOUT_DIGESTS)
    set(layout ${NIMB_PAYLOAD_LAYOUT_UNDIGESTED})
    list(APPEND args --layout ${layout})
    list(APPEND arg_DEPENDS payload-layout-undigested)
  endif()

  get_filename_component(out_dir ${arg_OUTPUT} DIRECTORY)
  add_custom_command(OUTPUT ${arg_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${Python3_EXECUTABLE} -I -S ${NIMB_PACKER} ${args}
    DEPENDS ${NIMB_PACKER} ${NIMB_PACKER_MODULES} ${layout} ${stub_dep} ${files}
    COMMENT "Packing ${arg_OUTPUT}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${arg_OUTPUT})
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()
endfunction()
