# The distribution folder (what is installed together) and its installer,
# for this build's bitness. Every PE shipped is signed on its way in when a
# certificate is given (scripts/sign-pe): the utility here, the logon task
# tool the installer carries, and the installer and its uninstaller through
# makensis's finalize hooks.
set(DIST_DIR ${CMAKE_CURRENT_BINARY_DIR}/dist)
set(SIGN_PE ${CMAKE_SOURCE_DIR}/scripts/sign-pe)
set(DIST_EXE ${DIST_DIR}/Orvane_Keyboard_Hid.exe)
set(DIST_TOOLS ${DIST_DIR}/orvane_probe.exe ${DIST_DIR}/orvane_post.exe)
set(CARRIED_TASK_TOOL ${CMAKE_CURRENT_BINARY_DIR}/carried/orvane_logon_task.exe)
set(CARRIED_TASK_ACTIONS ${CMAKE_CURRENT_BINARY_DIR}/carried/orvane_package_actions.dll)
foreach(shipped Orvane_Keyboard_Hid orvane_probe orvane_post)
  add_custom_command(OUTPUT ${DIST_DIR}/${shipped}.exe
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${shipped}> ${DIST_DIR}/${shipped}.exe
    COMMAND ${SIGN_PE} ${DIST_DIR}/${shipped}.exe
    DEPENDS ${shipped} ${SIGN_PE})
endforeach()
# What the installers carry to run: setup the task tool, the package the
# library of its custom actions.
foreach(carried ${CARRIED_TASK_TOOL} ${CARRIED_TASK_ACTIONS})
  get_filename_component(target ${carried} NAME_WE)
  add_custom_command(OUTPUT ${carried}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${carried}
    COMMAND ${SIGN_PE} ${carried}
    DEPENDS ${target} ${SIGN_PE})
endforeach()
add_custom_target(dist ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST_DIR}/skins
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/res/config ${DIST_DIR}
  # The user's guide is the README of the install folder.
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/user-guide.md ${DIST_DIR}/README.md
  COMMAND ${CMAKE_COMMAND} -E copy ${OSD_SKINS} ${DIST_DIR}/skins
  DEPENDS ${DIST_EXE} ${DIST_TOOLS} ${CARRIED_TASK_TOOL} ${CARRIED_TASK_ACTIONS} osd_art
  COMMENT "Filling the distribution folder")

find_program(MAKENSIS makensis REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(SETUP_ARCH x64)
  set(SETUP ${CMAKE_CURRENT_BINARY_DIR}/Orvane_Keyboard_Setup_x64.exe)
else()
  set(SETUP_ARCH x86)
  set(SETUP ${CMAKE_CURRENT_BINARY_DIR}/Orvane_Keyboard_Setup.exe)
endif()
# What both kinds of package carry from the distribution folder.
set(PACKAGED ${DIST_EXE} ${DIST_TOOLS} ${CMAKE_SOURCE_DIR}/res/config ${CMAKE_SOURCE_DIR}/docs/user-guide.md
  ${OSD_SKINS})
# orvane_setup(TARGET OUTFILE TASK_TOOL [DEPENDS...]): an installer of the
# distribution folder that carries TASK_TOOL as its task tool.
function(orvane_setup target outfile task_tool)
  add_custom_command(OUTPUT ${outfile}
    COMMAND ${MAKENSIS} -V2 -DARCH=${SETUP_ARCH} -DDIST=${DIST_DIR} -DTASK_TOOL=${task_tool}
      -DICON=${ICON} -DOUTFILE=${outfile} -DSIGN=${SIGN_PE} ${CMAKE_SOURCE_DIR}/installer/Orvane_Keyboard.nsi
    DEPENDS ${CMAKE_SOURCE_DIR}/installer/Orvane_Keyboard.nsi ${SIGN_PE} ${PACKAGED} ${task_tool} ${ARGN}
      ${ICON}
    COMMENT "Building ${outfile}")
  add_custom_target(${target} ALL DEPENDS ${outfile})
  add_dependencies(${target} dist)
endfunction()
orvane_setup(installer ${SETUP} ${CARRIED_TASK_TOOL})

# Installers for installer_tests only, never shipped: one whose task tool
# runs as SYSTEM with an administrator signed in and records the runs it
# asks of the task (Wine lists no sessions and has no RunEx), one whose
# task tool cannot be started (a file that is no program).
add_executable(orvane_logon_task_recorded tools/logontask/main.cpp
  tests/win/programs/TaskToolRecorded.cpp)
target_include_directories(orvane_logon_task_recorded PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(orvane_logon_task_recorded orvane_task)
target_link_options(orvane_logon_task_recorded PRIVATE -municode)
orvane_setup(test_setup_recorded ${CMAKE_CURRENT_BINARY_DIR}/test_setup_recorded.exe
  $<TARGET_FILE:orvane_logon_task_recorded> orvane_logon_task_recorded)
orvane_setup(test_setup_unstartable_tool ${CMAKE_CURRENT_BINARY_DIR}/test_setup_unstartable_tool.exe
  ${CMAKE_SOURCE_DIR}/res/config)
add_dependencies(installer_tests test_setup_recorded test_setup_unstartable_tool)

# The Windows Installer package of the same folder (scripts/build-msi),
# built with the installer; and, for installer_tests only, one of the
# version before to upgrade from, one whose actions record the runs they
# ask of the task (as the setup above), one whose actions all fail and one
# of the other bitness.
set(BUILD_MSI ${CMAKE_SOURCE_DIR}/scripts/build-msi)
if(SETUP_ARCH STREQUAL x64)
  set(MSI ${CMAKE_CURRENT_BINARY_DIR}/Orvane_Keyboard_x64.msi)
else()
  set(MSI ${CMAKE_CURRENT_BINARY_DIR}/Orvane_Keyboard.msi)
endif()
# orvane_msi(TARGET OUTFILE TASK_ACTIONS [DIST FOLDER] [ARCH x86|x64]): a
# package whose custom actions are TASK_ACTIONS' functions, of this build's
# distribution folder and bitness unless told.
function(orvane_msi target outfile task_actions)
  cmake_parse_arguments(M "" "DIST;ARCH" "" ${ARGN})
  if(NOT M_DIST)
    set(M_DIST ${DIST_DIR})
  endif()
  if(NOT M_ARCH)
    set(M_ARCH ${SETUP_ARCH})
  endif()
  add_custom_command(OUTPUT ${outfile}
    COMMAND ${BUILD_MSI} ${M_ARCH} ${M_DIST} ${task_actions} ${outfile}
    DEPENDS ${CMAKE_SOURCE_DIR}/installer/Orvane_Keyboard.wxs ${BUILD_MSI} ${SIGN_PE} ${PACKAGED}
      ${M_DIST}/Orvane_Keyboard_Hid.exe ${task_actions}
    COMMENT "Building ${outfile}")
  add_custom_target(${target} ALL DEPENDS ${outfile})
  add_dependencies(${target} dist)
endfunction()
orvane_msi(msi_package ${MSI} ${CARRIED_TASK_ACTIONS})
add_dependencies(installer msi_package)
# The release before this one: its file version one lower (the revision,
# or the build when the revision is 0), built from this source, in a
# distribution folder of its own.
if(PROJECT_VERSION_TWEAK GREATER 0)
  math(EXPR OLDER_REVISION "${PROJECT_VERSION_TWEAK} - 1")
  set(OLDER ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.${OLDER_REVISION})
elseif(PROJECT_VERSION_PATCH GREATER 0)
  math(EXPR OLDER_BUILD "${PROJECT_VERSION_PATCH} - 1")
  set(OLDER ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${OLDER_BUILD}.99)
else()
  message(FATAL_ERROR "The version ${PROJECT_VERSION} has no lower one to upgrade from in the tests")
endif()
orvane_utility(Orvane_Keyboard_Hid_older orvane_hid_platform VERSION ${OLDER})
set(OLDER_DIST_DIR ${CMAKE_CURRENT_BINARY_DIR}/dist-older)
add_custom_command(OUTPUT ${OLDER_DIST_DIR}/Orvane_Keyboard_Hid.exe
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${DIST_DIR} ${OLDER_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Orvane_Keyboard_Hid_older>
    ${OLDER_DIST_DIR}/Orvane_Keyboard_Hid.exe
  DEPENDS ${PACKAGED} Orvane_Keyboard_Hid_older)
orvane_msi(test_msi_older ${CMAKE_CURRENT_BINARY_DIR}/test_msi_older.msi ${CARRIED_TASK_ACTIONS}
  DIST ${OLDER_DIST_DIR})
add_library(failing_package_actions SHARED tests/win/programs/FailingPackageActions.cpp)
set_target_properties(failing_package_actions PROPERTIES PREFIX "")
target_link_options(failing_package_actions PRIVATE -Wl,--kill-at)
orvane_msi(test_msi_failing_tool ${CMAKE_CURRENT_BINARY_DIR}/test_msi_failing_tool.msi
  $<TARGET_FILE:failing_package_actions>)
add_dependencies(test_msi_failing_tool failing_package_actions)
orvane_package_actions(orvane_package_actions_recorded tests/win/programs/TaskToolRecorded.cpp)
orvane_msi(test_msi_recorded ${CMAKE_CURRENT_BINARY_DIR}/test_msi_recorded.msi
  $<TARGET_FILE:orvane_package_actions_recorded>)
add_dependencies(test_msi_recorded orvane_package_actions_recorded)
# The other bitness's package, as this build can make it: its identity
# (upgrade code, folders, platform) around this build's programs.
if(SETUP_ARCH STREQUAL x64)
  set(OTHER_ARCH x86)
else()
  set(OTHER_ARCH x64)
endif()
orvane_msi(test_msi_other_bitness ${CMAKE_CURRENT_BINARY_DIR}/test_msi_other_bitness.msi
  ${CARRIED_TASK_ACTIONS} ARCH ${OTHER_ARCH})
add_dependencies(installer_tests test_msi_older test_msi_failing_tool test_msi_recorded
  test_msi_other_bitness)
