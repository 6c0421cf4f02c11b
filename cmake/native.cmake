# Native Linux tree: the stand-in launcher server, pure-logic tests under
# ASan/UBSan, and the end-to-end tests that drive the Windows exe under Wine.
set(VRENN_WIN_BUILD "${CMAKE_SOURCE_DIR}/build/win" CACHE PATH "The Windows build tree the end-to-end tests run")
set(CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS} -Wall -Wextra -Wno-unused-parameter")
set(VRENN_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

find_package(PkgConfig REQUIRED)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
find_package(OpenSSL REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(Threads REQUIRED)

file(GLOB VRENN_SERVER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/server/*.cpp)
add_executable(vrenn_server ${VRENN_SERVER_SOURCES})
target_include_directories(vrenn_server PRIVATE ${VRENN_INCLUDES})
target_compile_definitions(vrenn_server PRIVATE XXH_INLINE_ALL)
target_link_libraries(vrenn_server PRIVATE PkgConfig::HTTPLIB OpenSSL::SSL OpenSSL::Crypto
                      nlohmann_json::nlohmann_json Threads::Threads)

add_library(vrenn_pure_native STATIC ${VRENN_PURE_SOURCES} ${VRENN_PLATFORM_POSIX})
target_include_directories(vrenn_pure_native PUBLIC ${VRENN_INCLUDES})
target_link_libraries(vrenn_pure_native PUBLIC Threads::Threads)
target_compile_options(vrenn_pure_native PUBLIC ${VRENN_SANITIZE})
target_link_options(vrenn_pure_native PUBLIC ${VRENN_SANITIZE})

if(BUILD_TESTING)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  include(GoogleTest)

  file(GLOB VRENN_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
  foreach(src IN LISTS VRENN_NATIVE_TESTS)
    get_filename_component(name ${src} NAME_WE)
    add_executable(native_${name} ${src})
    target_link_libraries(native_${name} PRIVATE vrenn_pure_native GTest::gtest_main)
    target_compile_options(native_${name} PRIVATE ${VRENN_SANITIZE})
    target_compile_definitions(native_${name} PRIVATE VRENN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    gtest_add_tests(TARGET native_${name} SOURCES ${src} TEST_PREFIX "native." TEST_LIST _tests)
    set_tests_properties(${_tests} PROPERTIES TIMEOUT 60)
  endforeach()

  # End-to-end: the stand-in server on loopback, the real exe under Wine.
  file(GLOB VRENN_E2E_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/support/*.cpp)
  add_library(vrenn_e2e_harness STATIC ${VRENN_E2E_SUPPORT})
  target_include_directories(vrenn_e2e_harness PUBLIC ${CMAKE_SOURCE_DIR}/tests/e2e ${VRENN_INCLUDES})
  target_link_libraries(vrenn_e2e_harness PUBLIC GTest::gtest nlohmann_json::nlohmann_json
                        PkgConfig::HTTPLIB OpenSSL::SSL OpenSSL::Crypto Threads::Threads)
  target_compile_definitions(vrenn_e2e_harness PUBLIC
    VRENN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VRENN_WIN_BUILD="${VRENN_WIN_BUILD}"
    VRENN_SERVER_EXE="$<TARGET_FILE:vrenn_server>")
  file(GLOB VRENN_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*_test.cpp)
  foreach(src IN LISTS VRENN_E2E_TESTS)
    get_filename_component(name ${src} NAME_WE)
    add_executable(e2e_${name} ${src})
    target_link_libraries(e2e_${name} PRIVATE vrenn_e2e_harness GTest::gtest_main)
    add_dependencies(e2e_${name} vrenn_server)
    gtest_add_tests(TARGET e2e_${name} SOURCES ${src} TEST_PREFIX "e2e." TEST_LIST _tests)
    # Every launcher start asks the built-in server port first, so these run one at a time.
    set_tests_properties(${_tests} PROPERTIES TIMEOUT 300 RESOURCE_LOCK builtin_server_port)
  endforeach()
endif()

# Fuzz targets for the readers of outside input: libFuzzer comes with clang, so
# they are built by clang++ beside this gcc tree. The pure sources are built
# once into one archive; each tests/fuzz/<name>_fuzz.cpp is linked against it.
# Each ctest run fuzzes for a few seconds on a corpus kept in the build folder
# (tests/fuzz/corpus holds only seeds).
if(BUILD_TESTING)
  find_program(VRENN_CLANGXX NAMES clang++ clang++-14)
  if(NOT VRENN_CLANGXX)
    message(FATAL_ERROR "clang++ not found (needed for the fuzz targets): run scripts/setup.sh")
  endif()
  set(VRENN_FUZZ_DIR "${CMAKE_BINARY_DIR}/fuzz")
  # Checked std::string indexing as well: a read past the end aborts instead of landing in the buffer.
  set(VRENN_FUZZ_FLAGS -std=c++20 -g -O1 -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS
      -fno-sanitize-recover=undefined)
  set(_fuzz_includes "")
  foreach(dir IN LISTS VRENN_INCLUDES)
    list(APPEND _fuzz_includes -I "${dir}")
  endforeach()

  # Compiles one source for the fuzz targets; the depfile follows its headers.
  function(vrenn_fuzz_object src obj sanitize)
    add_custom_command(OUTPUT "${obj}"
      COMMAND "${VRENN_CLANGXX}" ${VRENN_FUZZ_FLAGS} -fsanitize=${sanitize} ${_fuzz_includes}
              -MD -MF "${obj}.d" -c "${src}" -o "${obj}"
      DEPENDS "${src}" DEPFILE "${obj}.d"
      COMMENT "Building fuzz object ${obj}" VERBATIM)
  endfunction()

  file(MAKE_DIRECTORY "${VRENN_FUZZ_DIR}/obj" "${VRENN_FUZZ_DIR}/artifacts")
  set(_fuzz_objects "")
  foreach(src IN LISTS VRENN_PURE_SOURCES VRENN_PLATFORM_POSIX)
    file(RELATIVE_PATH rel "${CMAKE_SOURCE_DIR}" "${src}")
    string(REPLACE "/" "_" rel "${rel}")
    set(obj "${VRENN_FUZZ_DIR}/obj/${rel}.o")
    vrenn_fuzz_object("${src}" "${obj}" fuzzer-no-link,address,undefined)
    list(APPEND _fuzz_objects "${obj}")
  endforeach()
  set(_fuzz_archive "${VRENN_FUZZ_DIR}/obj/libvrenn_pure_fuzz.a")
  add_custom_command(OUTPUT "${_fuzz_archive}"
    COMMAND "${CMAKE_COMMAND}" -E rm -f "${_fuzz_archive}"
    COMMAND "${CMAKE_AR}" qcs "${_fuzz_archive}" ${_fuzz_objects}
    DEPENDS ${_fuzz_objects} COMMENT "Archiving the fuzz objects" VERBATIM)

  file(GLOB VRENN_FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
  set(_fuzz_exes "")
  foreach(src IN LISTS VRENN_FUZZ_TARGETS)
    get_filename_component(exe_name "${src}" NAME_WE)
    string(REGEX REPLACE "_fuzz$" "" name "${exe_name}")
    set(exe "${VRENN_FUZZ_DIR}/${exe_name}")
    vrenn_fuzz_object("${src}" "${exe}.o" fuzzer,address,undefined)
    add_custom_command(OUTPUT "${exe}"
      COMMAND "${VRENN_CLANGXX}" -fsanitize=fuzzer,address,undefined -pthread "${exe}.o" "${_fuzz_archive}" -o "${exe}"
      DEPENDS "${exe}.o" "${_fuzz_archive}" COMMENT "Linking fuzz target ${name}" VERBATIM)
    list(APPEND _fuzz_exes "${exe}")
    file(MAKE_DIRECTORY "${VRENN_FUZZ_DIR}/corpus/${name}")
    add_test(NAME fuzz.${name}
      COMMAND "${exe}" -max_total_time=3 -timeout=10 -print_final_stats=1
              "-artifact_prefix=${VRENN_FUZZ_DIR}/artifacts/${name}-"
              "${VRENN_FUZZ_DIR}/corpus/${name}" "${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name}")
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 60)
  endforeach()
  add_custom_target(vrenn_fuzzers ALL DEPENDS ${_fuzz_exes})
endif()
