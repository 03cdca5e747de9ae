# Windows build (mingw-w64 i686): the utility, its tools and the Windows
# tests, which CTest runs under Wine.
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)
set(STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
add_link_options(${STATIC_RUNTIME})

option(ORVANE_DIAGNOSTIC_LOG "Build Orvane_Keyboard_Hid.exe with the log on at start" OFF)

add_library(orvane_log STATIC log/Log.cpp)
target_link_libraries(orvane_log PUBLIC orvane_portable)

enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Our stand-in for the application framework.
add_library(orvane_fw STATIC
  fw/FileFind.cpp
  fw/RegisterWndClass.cpp
  fw/WinApp.cpp
  fw/Wnd.cpp)
target_include_directories(orvane_fw PUBLIC ${CMAKE_SOURCE_DIR})

add_library(orvane_sysinfo STATIC settings/SystemInfo.cpp)
target_include_directories(orvane_sysinfo PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(orvane_sysinfo PUBLIC wtsapi32)

# The keyboard link. Its HID platform calls are resolved at link time: the
# utility links the real SetupAPI/HID.DLL ones, the virtual-keyboard build the
# virtual keyboard's.
# (Object libraries, so the link order of static archives cannot drop them.)
add_library(orvane_hid STATIC hid/HidDevice.cpp hid/ServiceThread.cpp hid/StopSignal.cpp)
target_link_libraries(orvane_hid PUBLIC orvane_log)
add_library(orvane_hid_platform OBJECT hid/HidPlatformWin.cpp)
target_link_libraries(orvane_hid_platform PUBLIC orvane_hid hid setupapi)
add_library(orvane_virtual_keyboard STATIC tools/vkbd/VirtualKeyboard.cpp)
target_link_libraries(orvane_virtual_keyboard PUBLIC orvane_portable)
add_library(orvane_vkbd_platform OBJECT tools/vkbd/VirtualHidPlatform.cpp)
target_link_libraries(orvane_vkbd_platform PUBLIC orvane_hid)

# The configuration file and the WMI client of the fan mode.
add_library(orvane_settings STATIC
  settings/GameZoneClient.cpp
  settings/IniFile.cpp
  settings/Settings.cpp)
target_link_libraries(orvane_settings PUBLIC orvane_log ole32 oleaut32 uuid wbemuuid)

# The hot-key actions' platform side.
add_library(orvane_actions STATIC
  actions/FnLock.cpp
  actions/MicMute.cpp
  actions/ShellActions.cpp)
target_link_libraries(orvane_actions PUBLIC orvane_sysinfo orvane_log ole32 uuid shell32)

# Fake Core Audio and WMI worlds: the tests' stand-ins for a capture device
# and the machine's fan class, and the simulation build's.
add_library(orvane_sim STATIC
  tools/sim/FakeCom.cpp
  tools/sim/FakeCoreAudio.cpp
  tools/sim/FakeWmi.cpp)
target_include_directories(orvane_sim PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(orvane_sim PUBLIC ole32 oleaut32 uuid wbemuuid)

# The application shell: CHidApp and the main window, with the window's
# actions and settings operations.
add_library(orvane_app STATIC
  actions/Dispatcher.cpp
  actions/MyWndActions.cpp
  app/HidApp.cpp
  app/MyWnd.cpp
  app/MyWndCommands.cpp
  app/MyWndDevice.cpp
  app/MyWndRouting.cpp
  settings/MyWndSettings.cpp)
target_link_libraries(orvane_app PUBLIC orvane_fw orvane_sysinfo orvane_hid orvane_log
  orvane_actions orvane_settings shell32 ole32)

set(ICON ${CMAKE_CURRENT_BINARY_DIR}/res/app.ico)
add_custom_command(OUTPUT ${ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/res
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/icon/make_icon.py ${ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/icon/make_icon.py
  COMMENT "Drawing the application icon")
set_source_files_properties(res/Orvane_Keyboard_Hid.rc PROPERTIES
  OBJECT_DEPENDS "${ICON};${CMAKE_SOURCE_DIR}/res/Orvane_Keyboard_Hid.manifest")

# The utility, and variants of it that differ only in their entry file or in
# the HID platform they link; the diagnostic build has the log on at start.
function(orvane_utility name platform)
  cmake_parse_arguments(U "" "MAIN" "" ${ARGN})
  if(NOT U_MAIN)
    set(U_MAIN app/Main.cpp)
  endif()
  add_executable(${name} WIN32 ${U_MAIN} fw/WinMain.cpp res/Orvane_Keyboard_Hid.rc ${ICON})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/res ${CMAKE_CURRENT_BINARY_DIR}/res)
  target_link_libraries(${name} orvane_app ${platform})
  # Symbols stripped: what ships is the program alone.
  target_link_options(${name} PRIVATE -municode -s)
  add_dependencies(${name} osd_art)  # the bitmaps it carries, the skins beside it
endfunction()

orvane_utility(Orvane_Keyboard_Hid orvane_hid_platform)
if(ORVANE_DIAGNOSTIC_LOG)
  target_compile_definitions(Orvane_Keyboard_Hid PRIVATE ORVANE_DIAGNOSTIC_LOG)
endif()
orvane_utility(Orvane_Keyboard_Hid_diag orvane_hid_platform)
target_compile_definitions(Orvane_Keyboard_Hid_diag PRIVATE ORVANE_DIAGNOSTIC_LOG)
# With the virtual keyboard in place of the real one, for the end-to-end tests.
orvane_utility(Orvane_Keyboard_Hid_vkbd orvane_vkbd_platform)
orvane_utility(Orvane_Keyboard_Hid_vkbd_diag orvane_vkbd_platform)
target_compile_definitions(Orvane_Keyboard_Hid_vkbd_diag PRIVATE ORVANE_DIAGNOSTIC_LOG)
# Every machine-side piece virtual (keyboard, capture device, fan class): the demo.
orvane_utility(Orvane_Keyboard_Hid_sim orvane_vkbd_platform MAIN tools/sim/SimMain.cpp)
target_link_libraries(Orvane_Keyboard_Hid_sim orvane_sim)

# Each Windows test program runs as one CTest test under Wine. Tests that
# share a file, window title or mutex name take the same RESOURCE_LOCK.
function(orvane_win_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LOCK" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(T_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCK}")
  endif()
endfunction()

orvane_win_test(log_tests SOURCES tests/win/LogTest.cpp LIBS orvane_log LOCK c_log)
# Once more where the ANSI code page is Cyrillic (1251): Wine takes it from
# the locale, here a Russian one compiled into the build tree.
set(RU_LOCALE ${CMAKE_BINARY_DIR}/locale/ru_RU.UTF-8)
add_custom_command(OUTPUT ${RU_LOCALE}/LC_CTYPE
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale
  COMMAND localedef -i ru_RU -f UTF-8 ${RU_LOCALE}
  COMMENT "Compiling a Russian locale for the code-page test")
add_custom_target(ru_locale ALL DEPENDS ${RU_LOCALE}/LC_CTYPE)
add_test(NAME log_tests_cp1251
  COMMAND env LOCPATH=${CMAKE_BINARY_DIR}/locale LC_ALL=ru_RU.UTF-8 ORVANE_EXPECT_ACP=1251
    ${CMAKE_SOURCE_DIR}/scripts/wine-run $<TARGET_FILE:log_tests> --gtest_filter=LogTest.WideArguments*)
set_tests_properties(log_tests_cp1251 PROPERTIES RESOURCE_LOCK c_log)
orvane_win_test(fw_tests SOURCES tests/win/FrameworkTest.cpp LIBS orvane_fw)

add_executable(system_info_probe tests/win/SystemInfoProbe.cpp)
target_link_libraries(system_info_probe orvane_sysinfo)
orvane_win_test(system_info_tests SOURCES tests/win/SystemInfoTest.cpp LIBS orvane_sysinfo)
add_dependencies(system_info_tests system_info_probe)

orvane_win_test(app_tests SOURCES tests/win/AppTest.cpp LIBS orvane_app orvane_hid_platform
  LOCK main_instance c_log fnlock_registry)

# These read and start the built Orvane_Keyboard_Hid.exe beside them.
orvane_win_test(exe_resource_tests SOURCES tests/win/ExeResourceTest.cpp LIBS version)
add_dependencies(exe_resource_tests Orvane_Keyboard_Hid)
orvane_win_test(exe_run_tests SOURCES tests/win/ExeRunTest.cpp LOCK main_instance fnlock_registry)
add_dependencies(exe_run_tests Orvane_Keyboard_Hid)

orvane_win_test(hid_link_tests SOURCES tests/win/HidLinkTest.cpp
  LIBS orvane_hid orvane_vkbd_platform orvane_virtual_keyboard LOCK c_log vkbd)

# Tools: the virtual keyboard, and the probe for people who support the
# keyboard (a second build of it talks to the virtual keyboard).
add_executable(orvane_vkbd tools/vkbd/main.cpp)
target_link_libraries(orvane_vkbd orvane_virtual_keyboard)
add_executable(orvane_probe tools/probe/main.cpp)
target_link_libraries(orvane_probe orvane_hid orvane_hid_platform)
add_executable(orvane_post tools/post/main.cpp)
target_link_options(orvane_post PRIVATE -municode)
add_executable(orvane_probe_virtual tools/probe/main.cpp)
target_link_libraries(orvane_probe_virtual orvane_hid orvane_vkbd_platform)

orvane_win_test(hid_real_platform_tests SOURCES tests/win/HidRealPlatformTest.cpp
  LIBS orvane_hid orvane_hid_platform LOCK c_log)
add_dependencies(hid_real_platform_tests orvane_probe)
orvane_win_test(probe_tests SOURCES tests/win/ProbeTest.cpp LIBS orvane_virtual_keyboard LOCK vkbd)
add_dependencies(probe_tests orvane_probe_virtual)

# Stands in for the companion program started by command 6001.
add_executable(Gaming WIN32 tests/win/GamingMarker.cpp)
target_link_options(Gaming PRIVATE -municode)

orvane_win_test(main_window_tests SOURCES tests/win/MainWindowTest.cpp
  LIBS orvane_app orvane_vkbd_platform orvane_virtual_keyboard
  LOCK main_instance c_log vkbd fnlock_registry)
add_dependencies(main_window_tests Gaming)
orvane_win_test(diagnostic_build_tests SOURCES tests/win/DiagnosticBuildTest.cpp LIBS orvane_log
  LOCK main_instance c_log fnlock_registry)
add_dependencies(diagnostic_build_tests Orvane_Keyboard_Hid Orvane_Keyboard_Hid_diag)

orvane_win_test(end_to_end_tests SOURCES tests/win/EndToEndTest.cpp LIBS orvane_log orvane_actions orvane_osd
  LOCK main_instance c_log vkbd fnlock_registry config_file osd_mutex desktop_input)
add_dependencies(end_to_end_tests Orvane_Keyboard_Hid_vkbd Orvane_Keyboard_Hid_vkbd_diag
  orvane_vkbd Gaming)

# The hot-key actions and the settings. Tests that touch the same registry
# key or file take the same lock; so do those that inject keys, start
# programs that show windows, or read or take the foreground window
# (desktop_input): the keyboard stream and the foreground belong to the
# whole desktop.
add_executable(snip_probe tests/win/SnipProbe.cpp)
add_executable(snip_runner tests/win/SnipRunner.cpp)
target_include_directories(snip_runner PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(snip_runner orvane_actions)
orvane_win_test(shell_actions_tests SOURCES tests/win/ShellActionsTest.cpp
  LIBS orvane_actions LOCK desktop_input c_log)
add_dependencies(shell_actions_tests snip_probe snip_runner)
orvane_win_test(mic_mute_tests SOURCES tests/win/MicMuteTest.cpp
  LIBS orvane_actions orvane_sim LOCK mic_companion)
orvane_win_test(fn_lock_tests SOURCES tests/win/FnLockTest.cpp
  LIBS orvane_actions LOCK fnlock_registry)
orvane_win_test(settings_tests SOURCES tests/win/SettingsTest.cpp LIBS orvane_settings)
orvane_win_test(game_zone_tests SOURCES tests/win/GameZoneClientTest.cpp
  LIBS orvane_settings orvane_sim LOCK c_log)
orvane_win_test(window_action_tests SOURCES tests/win/MyWndActionsTest.cpp
  LIBS orvane_app orvane_hid_platform orvane_sim
  LOCK config_file fnlock_registry mic_companion desktop_input)

# Benchmarks (make bench), never run as tests.
add_executable(minimal_window WIN32 tests/bench/MinimalWindow.cpp)
target_link_options(minimal_window PRIVATE -municode)
add_executable(latency_bench tests/bench/LatencyBench.cpp res/OsdImages.rc)
target_include_directories(latency_bench PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/res)
target_link_libraries(latency_bench orvane_app orvane_vkbd_platform orvane_virtual_keyboard)
add_dependencies(latency_bench osd_art)
add_executable(process_bench tests/bench/ProcessBench.cpp)
target_include_directories(process_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(process_bench psapi)
add_dependencies(process_bench minimal_window Orvane_Keyboard_Hid_vkbd orvane_vkbd)

# The on-screen display: the controller, the bar, its bitmaps and skins.
# The artwork is drawn at build time; the skins go to the "skins" folder
# beside the executables, where the bar looks for them.
set(OSD_BITMAPS)
foreach(id 200 201 202 203)
  list(APPEND OSD_BITMAPS ${CMAKE_CURRENT_BINARY_DIR}/res/osd${id}.bmp)
endforeach()
set(OSD_SKIN_DIR ${CMAKE_CURRENT_BINARY_DIR}/skins)
set(OSD_SKINS ${OSD_SKIN_DIR}/OSDIntelligence.png ${OSD_SKIN_DIR}/OSDPerformance.png)
file(GLOB OSD_ART_SOURCES ${CMAKE_SOURCE_DIR}/tools/osdart/*.py)
add_custom_command(OUTPUT ${OSD_BITMAPS} ${OSD_SKINS}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/osdart/make_osd_art.py
    ${CMAKE_CURRENT_BINARY_DIR}/res ${OSD_SKIN_DIR}
  DEPENDS ${OSD_ART_SOURCES}
  COMMENT "Drawing the OSD bitmaps and skins")
add_custom_target(osd_art ALL DEPENDS ${OSD_BITMAPS} ${OSD_SKINS})
set(OSD_RC_DEPENDS ${OSD_BITMAPS} ${CMAKE_SOURCE_DIR}/res/OsdImages.rc)
set_property(SOURCE res/Orvane_Keyboard_Hid.rc APPEND PROPERTY OBJECT_DEPENDS ${OSD_RC_DEPENDS})
set_property(SOURCE res/OsdImages.rc APPEND PROPERTY OBJECT_DEPENDS ${OSD_RC_DEPENDS})

add_library(orvane_osd STATIC osd/LoadSkin.cpp osd/osdmain.cpp osd/WTOSD.cpp)
target_link_libraries(orvane_osd PUBLIC orvane_fw orvane_portable gdiplus)
target_sources(orvane_app PRIVATE app/MyWndOsd.cpp)
target_link_libraries(orvane_app PUBLIC orvane_osd)

# OSD tests. The programs carry the bitmaps themselves: the bar loads them
# from the running module. They all make or look for the OSD mutex.
function(orvane_osd_test name)
  orvane_win_test(${name} ${ARGN} LIBS orvane_app orvane_hid_platform LOCK osd_mutex)
  target_sources(${name} PRIVATE res/OsdImages.rc)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/res)
  add_dependencies(${name} osd_art)
endfunction()
orvane_osd_test(osd_tests SOURCES tests/win/OsdTest.cpp tests/win/OsdSkinTest.cpp)
# It takes the foreground and checks that the bar leaves it there.
set_property(TEST osd_tests APPEND PROPERTY RESOURCE_LOCK desktop_input)
add_dependencies(osd_tests Orvane_Keyboard_Hid)
orvane_osd_test(osd_first_request_tests SOURCES tests/win/OsdFirstRequestTest.cpp)
orvane_osd_test(osd_name_taken_tests SOURCES tests/win/OsdNameTakenTest.cpp)

add_executable(osd_screen_probe tests/win/OsdScreenProbe.cpp res/OsdImages.rc)
target_include_directories(osd_screen_probe PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/res)
target_link_libraries(osd_screen_probe orvane_app orvane_hid_platform)
add_dependencies(osd_screen_probe osd_art)

# The same checks on a 1366x768 screen, and the screenshots on both sizes,
# each on an X server of its own. with-display stops the Wine server of its
# prefix when it ends, so these share a prefix of their own, one at a time.
# The screenshots need Debian's python3, which python3-pil serves.
set(OSD_PREFIX ${CMAKE_BINARY_DIR}/wineprefix-osd)
set(OSD_DISPLAY env -u DISPLAY WINEPREFIX=${OSD_PREFIX} ${CMAKE_SOURCE_DIR}/scripts/with-display)
add_test(NAME osd_tests_1366x768
  COMMAND env SCREEN_SIZE=1366x768x24 ${OSD_DISPLAY} ${CMAKE_SOURCE_DIR}/scripts/wine-run
    $<TARGET_FILE:osd_tests> --gtest_filter=OsdTest.EachState*:OsdTest.RepaintPuts*)
foreach(size 1920x1080 1366x768)
  add_test(NAME osd_screens_${size}
    COMMAND env SCREEN_SIZE=${size}x24 ${OSD_DISPLAY} /usr/bin/python3
      ${CMAKE_SOURCE_DIR}/tests/osd/osd_screens.py --probe $<TARGET_FILE:osd_screen_probe>
      --bitmaps ${CMAKE_CURRENT_BINARY_DIR}/res --skins ${OSD_SKIN_DIR}
      --out ${CMAKE_BINARY_DIR}/osd-screens/${size})
endforeach()
set_tests_properties(osd_tests_1366x768 osd_screens_1920x1080 osd_screens_1366x768
  PROPERTIES RESOURCE_LOCK wineprefix_osd)

orvane_win_test(dispatcher_tests SOURCES tests/win/DispatcherTest.cpp
  LIBS orvane_app orvane_hid_platform orvane_sim
  LOCK main_instance c_log fnlock_registry config_file osd_mutex mic_companion desktop_input)
target_sources(dispatcher_tests PRIVATE res/OsdImages.rc)
target_include_directories(dispatcher_tests PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/res)
add_dependencies(dispatcher_tests osd_art)
orvane_win_test(robustness_tests SOURCES tests/win/RobustnessTest.cpp
  LIBS orvane_app orvane_vkbd_platform orvane_virtual_keyboard orvane_sim
  LOCK main_instance c_log vkbd fnlock_registry config_file osd_mutex mic_companion desktop_input)
target_sources(robustness_tests PRIVATE res/OsdImages.rc)
target_include_directories(robustness_tests PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/res)
add_dependencies(robustness_tests osd_art)

# The distribution folder: what is installed together.
set(DIST_DIR ${CMAKE_CURRENT_BINARY_DIR}/dist)
add_custom_target(dist ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST_DIR}/skins
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Orvane_Keyboard_Hid> ${DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/res/config ${CMAKE_SOURCE_DIR}/README.md ${DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${OSD_SKINS} ${DIST_DIR}/skins
  DEPENDS Orvane_Keyboard_Hid osd_art
  COMMENT "Filling the distribution folder")

# The logon task that the installer registers and removes.
add_library(orvane_task STATIC tools/logontask/LogonTask.cpp)
target_include_directories(orvane_task PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(orvane_task PUBLIC ole32 oleaut32 taskschd)
add_executable(orvane_logon_task tools/logontask/main.cpp)
target_link_libraries(orvane_logon_task orvane_task)
target_link_options(orvane_logon_task PRIVATE -municode)

# The installer of the distribution folder, for this build's bitness.
find_program(MAKENSIS makensis REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(SETUP_ARCH x64)
  set(SETUP ${CMAKE_CURRENT_BINARY_DIR}/Orvane_Keyboard_Setup_x64.exe)
else()
  set(SETUP_ARCH x86)
  set(SETUP ${CMAKE_CURRENT_BINARY_DIR}/Orvane_Keyboard_Setup.exe)
endif()
add_custom_command(OUTPUT ${SETUP}
  COMMAND ${MAKENSIS} -V2 -DARCH=${SETUP_ARCH} -DDIST=${DIST_DIR}
    -DTASK_TOOL=$<TARGET_FILE:orvane_logon_task> -DICON=${ICON} -DOUTFILE=${SETUP}
    ${CMAKE_SOURCE_DIR}/installer/Orvane_Keyboard.nsi
  DEPENDS ${CMAKE_SOURCE_DIR}/installer/Orvane_Keyboard.nsi Orvane_Keyboard_Hid orvane_logon_task
    ${ICON} ${CMAKE_SOURCE_DIR}/res/config ${CMAKE_SOURCE_DIR}/README.md ${OSD_SKINS}
  COMMENT "Building the installer")
add_custom_target(installer ALL DEPENDS ${SETUP})
add_dependencies(installer dist)

orvane_win_test(installer_tests SOURCES tests/win/InstallerTest.cpp LIBS orvane_task orvane_actions
  LOCK main_instance fnlock_registry)
add_dependencies(installer_tests installer)
