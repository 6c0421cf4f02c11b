# Windows x64 tree: the launcher, its stand-in game client, the test programs.
set(IMGUI_DIR "${VRENN_THIRD_PARTY}/imgui")
if(NOT EXISTS "${IMGUI_DIR}/imgui.h")
  message(FATAL_ERROR "Dear ImGui source not found in ${IMGUI_DIR}: run scripts/setup.sh first")
endif()

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
set(CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS} -Wall -Wextra -Wno-unused-parameter")
# One static exe: no mingw runtime DLLs next to it.
set(VRENN_STATIC_LINK -static -static-libgcc -static-libstdc++)

add_library(imgui STATIC
  ${IMGUI_DIR}/imgui.cpp ${IMGUI_DIR}/imgui_draw.cpp ${IMGUI_DIR}/imgui_tables.cpp
  ${IMGUI_DIR}/imgui_widgets.cpp ${IMGUI_DIR}/imgui_demo.cpp
  ${IMGUI_DIR}/backends/imgui_impl_win32.cpp ${IMGUI_DIR}/backends/imgui_impl_dx11.cpp)
target_include_directories(imgui PUBLIC ${IMGUI_DIR} ${IMGUI_DIR}/backends)
target_compile_options(imgui PRIVATE -w)
# The launcher takes no gamepad input. Loading and unloading XInput also lets
# Wine's XInput device thread outlive its DLL, which crashes the exit.
target_compile_definitions(imgui PRIVATE IMGUI_IMPL_WIN32_DISABLE_GAMEPAD)
target_link_libraries(imgui PUBLIC d3d11 dxgi d3dcompiler dwmapi gdi32 user32 imm32)

add_library(vrenn_pure STATIC ${VRENN_PURE_SOURCES} ${VRENN_PLATFORM_WIN})
target_include_directories(vrenn_pure PUBLIC ${VRENN_INCLUDES})

file(GLOB VRENN_CORE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/patch/*.cpp ${CMAKE_SOURCE_DIR}/ui/*.cpp)
list(REMOVE_ITEM VRENN_CORE_SOURCES "${CMAKE_SOURCE_DIR}/app/main.cpp" ${VRENN_PURE_SOURCES}
     ${VRENN_PLATFORM_WIN} ${VRENN_PLATFORM_POSIX})
add_library(vrenn_core STATIC ${VRENN_CORE_SOURCES})
target_include_directories(vrenn_core PUBLIC ${VRENN_INCLUDES})
target_link_libraries(vrenn_core PUBLIC vrenn_pure imgui
  winhttp bcrypt crypt32 ws2_32 shell32 ole32 advapi32 d3d11 dxgi d3dcompiler dwmapi gdi32 user32)

add_executable(VrennOnlineLauncher WIN32 app/main.cpp resources/launcher.rc)
target_link_libraries(VrennOnlineLauncher PRIVATE vrenn_core ${VRENN_STATIC_LINK})
target_link_options(VrennOnlineLauncher PRIVATE -mwindows)

if(EXISTS "${CMAKE_SOURCE_DIR}/client/CMakeLists.txt")
  add_subdirectory(client)
endif()

# Tests: GoogleTest built with the cross compiler, each test program run under Wine.
if(BUILD_TESTING)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_subdirectory(tests/tools)
  add_subdirectory(tests/webview2)
  file(GLOB VRENN_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*_test.cpp)
  file(GLOB VRENN_WIN_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/support/*.cpp)
  include(GoogleTest)
  foreach(src IN LISTS VRENN_WIN_TESTS)
    get_filename_component(name ${src} NAME_WE)
    add_executable(win_${name} ${src} ${VRENN_WIN_TEST_SUPPORT})
    target_include_directories(win_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/win)
    target_link_libraries(win_${name} PRIVATE vrenn_core GTest::gtest_main ${VRENN_STATIC_LINK})
    gtest_add_tests(TARGET win_${name} SOURCES ${src} TEST_PREFIX "win." TEST_LIST _tests
                    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${_tests} PROPERTIES TIMEOUT 120)
  endforeach()
endif()
