# Hardening of the optimised builds that are shipped (Release, MinSizeRel), as Debian builds
# its own packages: buffer overflow checks on the C library's string and memory functions
# (_FORTIFY_SOURCE=2, which needs the optimiser and so is never set at -O0), stack
# protection of functions with arrays or address-taken locals, a read-only relocation table
# resolved at start (full RELRO with bind-now) and position-independent executables, so
# that address randomisation applies to the programs too.
#
# Debug and RelWithDebInfo builds are left alone: the sanitizer and fuzzing builds use them
# with their own instrumentation. PALMOTA_HARDENING=OFF leaves the shipped builds alone too.
# The flags are directory options of the project, set before its targets exist; the
# global CMAKE_<LANG>_FLAGS stay the user's.
include(CheckPIESupported)

option(PALMOTA_HARDENING "Harden the Release and MinSizeRel builds" ON)

# Every executable is linked as PIE where the toolchain can (policy CMP0083).
# (Windows executables are relocatable anyway: the MinGW linker marks them for address
# randomisation, --dynamicbase, by default.)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
if(NOT WIN32)
  check_pie_supported(OUTPUT_VARIABLE palmota_pie_message LANGUAGES CXX)
endif()
if(NOT WIN32 AND NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
  message(WARNING "Executables will not be position-independent: ${palmota_pie_message}")
endif()

if(PALMOTA_HARDENING AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set(palmota_shipped "$<CONFIG:Release,MinSizeRel>")
  # A _FORTIFY_SOURCE level a toolchain may define by default is replaced, not redefined.
  # Release is optimised at -O2 as Debian builds it, where _FORTIFY_SOURCE=2 is defined:
  # directory options come after CMake's -O3 on the command line, and the last one counts.
  add_compile_options(
    "$<$<CONFIG:Release>:-O2>"
    "$<${palmota_shipped}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>"
    "$<${palmota_shipped}:-fstack-protector-strong>")
  if(MINGW)
    # MinGW keeps the stack protector's and the fortified functions' support in libssp:
    # linked in statically, so that no further DLL has to be shipped.
    link_libraries("$<${palmota_shipped}:-l:libssp.a>")
  endif()
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    add_link_options("$<${palmota_shipped}:LINKER:-z,relro,-z,now>")
  endif()
endif()
