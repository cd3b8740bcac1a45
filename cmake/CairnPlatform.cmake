# Compiler settings of the two trees, and the Wine harness that runs Windows tests.

if(MSVC)
  message(FATAL_ERROR "Cairn builds with mingw-w64 (Windows) or gcc/clang (host core)")
endif()
add_compile_options(-Wall -Wextra -Wno-unused-parameter)

if(WIN32)
  set(CAIRN_WINDOWS ON)
  # Binaries must run on a plain Windows: no compiler run-time DLLs beside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The .def file names the exports undecorated; on x86 they are stdcall functions.
    add_link_options(-Wl,--enable-stdcall-fixup)
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Every Windows test executable runs as one Wine process in the build tree's own prefix,
    # with the persistent wineserver and Xvfb that the wine_session fixture starts.
    set(CAIRN_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine/wine-run ${CAIRN_WINE_STATE})
  endif()
else()
  set(CAIRN_WINDOWS OFF)
  if(CAIRN_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
  if(CAIRN_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # Coverage for the fuzzer across the core; the fuzz target itself links the fuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link)
    set(CAIRN_BUILD_FUZZERS ON)
  endif()
endif()

# A part of a deliverable: a static library of the folder's sources, with the folder as its include
# directory, that links only the parts it may use; an include against that order does not compile.
function(cairn_part name folder)
  cmake_parse_arguments(ARG "" "" "SOURCES;USES" ${ARGN})
  list(TRANSFORM ARG_SOURCES PREPEND ${folder}/)
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/${folder})
  target_link_libraries(${name} PUBLIC ${ARG_USES})
endfunction()

# Adds a GoogleTest executable as one test, run with ARGS. Windows tests run under Wine and need
# its session.
function(cairn_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 ${ARG_ARGS})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(CAIRN_WINDOWS AND CMAKE_CROSSCOMPILING)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_session)
  endif()
endfunction()
