# Compiler and linker settings shared by every target of the project.

# No fused multiply-add anywhere: results must be bit-identical in every lane.
add_compile_options(-ffp-contract=off)

if(BARSIGHT_LANE STREQUAL "win32")
  # Double arithmetic in SSE registers rounds exactly as on x86_64. Stack
  # realignment is the toolchain's default; it is stated so nobody turns it
  # off: an MSVC-built host, user32 callbacks and new threads align the stack
  # to 4 bytes only, and SSE spills to a misaligned stack fault.
  add_compile_options(-msse2 -mfpmath=sse -mstackrealign)
  add_link_options(-Wl,--enable-stdcall-fixup)
endif()

if(WIN32)
  # No runtime DLLs: libgcc, libstdc++ and winpthread are linked in.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
endif()

if(BARSIGHT_SANITIZE STREQUAL "address")
  # Unoptimised (the preset's Debug): at -O1 the suites run faster but the
  # build takes twice as long, more than the suites gain.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(BARSIGHT_SANITIZE STREQUAL "fuzzer")
  # clang's libFuzzer: everything instrumented for coverage, with ASan and
  # UBSan; the fuzz targets add the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(BARSIGHT_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Warnings are errors for the project's own targets (not for GoogleTest);
# the Python package's build turns that off, a user's compiler may warn
# where ours does not.
option(BARSIGHT_WERROR "Warnings are errors" ON)
set(BARSIGHT_WARNING_OPTIONS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(BARSIGHT_WERROR)
  list(APPEND BARSIGHT_WARNING_OPTIONS -Werror)
endif()
function(barsight_warnings target)
  target_compile_options(${target} PRIVATE ${BARSIGHT_WARNING_OPTIONS})
endfunction()

# A plug-in library: its exports are exactly the names of its .def file. On
# Windows the .def file is linked in (no "lib" prefix); on posix a linker
# version script made from it hides everything else.
function(barsight_plugin target def_file)
  if(WIN32)
    set_target_properties(${target} PROPERTIES PREFIX "")
    target_sources(${target} PRIVATE ${def_file})
  else()
    file(STRINGS ${def_file} lines)
    set(names "")
    set(in_exports FALSE)
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      if(line STREQUAL "EXPORTS")
        set(in_exports TRUE)
      elseif(in_exports AND NOT line STREQUAL "" AND NOT line MATCHES "^;")
        string(APPEND names "    ${line};\n")
      endif()
    endforeach()
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    file(WRITE ${script} "{\n  global:\n${names}  local: *;\n};\n")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def_file})
    target_link_options(${target} PRIVATE -Wl,--version-script=${script})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
  endif()
endfunction()

# Windows: a VERSIONINFO resource for a shipped DLL or program (product
# Barsight, file and product version from the project version as four
# numbers, a description), so Windows shows it in the file's properties.
set(BARSIGHT_VERSION_BUILD 0)
function(barsight_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(BARSIGHT_FILE_TYPE VFT_APP)
    set(BARSIGHT_FILE_NAME ${target}.exe)
  else()
    set(BARSIGHT_FILE_TYPE VFT_DLL)
    set(BARSIGHT_FILE_NAME ${target}.dll)
  endif()
  set(BARSIGHT_FILE_DESCRIPTION "${description}")
  set(BARSIGHT_VERSION4 "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.${BARSIGHT_VERSION_BUILD}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  enable_language(RC)
  target_sources(${target} PRIVATE ${rc})
endfunction()
