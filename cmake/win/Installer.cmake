# The distribution folder (what is installed together) and its installer,
# for this build's bitness. Every PE shipped is signed on its way in when a
# certificate is given (scripts/sign-pe): the utility here, the logon task
# tool the installer carries, and the installer and its uninstaller through
# makensis's finalize hooks.
set(DIST_DIR ${CMAKE_CURRENT_BINARY_DIR}/dist)
set(SIGN_PE ${CMAKE_SOURCE_DIR}/scripts/sign-pe)
set(DIST_EXE ${DIST_DIR}/Orvane_Keyboard_Hid.exe)
set(CARRIED_TASK_TOOL ${CMAKE_CURRENT_BINARY_DIR}/carried/orvane_logon_task.exe)
add_custom_command(OUTPUT ${DIST_EXE}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Orvane_Keyboard_Hid> ${DIST_EXE}
  COMMAND ${SIGN_PE} ${DIST_EXE}
  DEPENDS Orvane_Keyboard_Hid ${SIGN_PE})
add_custom_command(OUTPUT ${CARRIED_TASK_TOOL}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:orvane_logon_task> ${CARRIED_TASK_TOOL}
  COMMAND ${SIGN_PE} ${CARRIED_TASK_TOOL}
  DEPENDS orvane_logon_task ${SIGN_PE})
add_custom_target(dist ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST_DIR}/skins
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/res/config ${CMAKE_SOURCE_DIR}/README.md ${DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${OSD_SKINS} ${DIST_DIR}/skins
  DEPENDS ${DIST_EXE} ${CARRIED_TASK_TOOL} osd_art
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
set(PACKAGED ${DIST_EXE} ${CMAKE_SOURCE_DIR}/res/config ${CMAKE_SOURCE_DIR}/README.md ${OSD_SKINS})
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
# runs as SYSTEM in session 0 (as deployment tools run setup, which Wine
# cannot), one whose task tool cannot be started (a file that is no program).
add_executable(orvane_logon_task_as_system tools/logontask/main.cpp
  tests/win/programs/TaskToolAsSystem.cpp)
target_link_libraries(orvane_logon_task_as_system orvane_task)
target_link_options(orvane_logon_task_as_system PRIVATE -municode)
orvane_setup(test_setup_as_system ${CMAKE_CURRENT_BINARY_DIR}/test_setup_as_system.exe
  $<TARGET_FILE:orvane_logon_task_as_system> orvane_logon_task_as_system)
orvane_setup(test_setup_unstartable_tool ${CMAKE_CURRENT_BINARY_DIR}/test_setup_unstartable_tool.exe
  ${CMAKE_SOURCE_DIR}/res/config)
add_dependencies(installer_tests test_setup_as_system test_setup_unstartable_tool)

# The Windows Installer package of the same folder (scripts/build-msi),
# built with the installer; and, for installer_tests only, one of an older
# version to upgrade from, one whose task tool runs as SYSTEM in session 0
# and one whose task tool fails every verb (the command sender in its
# place).
set(BUILD_MSI ${CMAKE_SOURCE_DIR}/scripts/build-msi)
if(SETUP_ARCH STREQUAL x64)
  set(MSI ${CMAKE_CURRENT_BINARY_DIR}/Orvane_Keyboard_x64.msi)
else()
  set(MSI ${CMAKE_CURRENT_BINARY_DIR}/Orvane_Keyboard.msi)
endif()
# orvane_msi(TARGET OUTFILE TASK_TOOL [VERSION])
function(orvane_msi target outfile task_tool)
  add_custom_command(OUTPUT ${outfile}
    COMMAND ${BUILD_MSI} ${SETUP_ARCH} ${DIST_DIR} ${task_tool} ${outfile} ${ARGN}
    DEPENDS ${CMAKE_SOURCE_DIR}/installer/Orvane_Keyboard.wxs ${BUILD_MSI} ${SIGN_PE} ${PACKAGED}
      ${task_tool}
    COMMENT "Building ${outfile}")
  add_custom_target(${target} ALL DEPENDS ${outfile})
  add_dependencies(${target} dist)
endfunction()
orvane_msi(msi ${MSI} ${CARRIED_TASK_TOOL})
add_dependencies(installer msi)
orvane_msi(test_msi_older ${CMAKE_CURRENT_BINARY_DIR}/test_msi_older.msi ${CARRIED_TASK_TOOL} 0.9.0.9)
orvane_msi(test_msi_failing_tool ${CMAKE_CURRENT_BINARY_DIR}/test_msi_failing_tool.msi
  $<TARGET_FILE:orvane_post>)
add_dependencies(test_msi_failing_tool orvane_post)
orvane_msi(test_msi_as_system ${CMAKE_CURRENT_BINARY_DIR}/test_msi_as_system.msi
  $<TARGET_FILE:orvane_logon_task_as_system>)
add_dependencies(test_msi_as_system orvane_logon_task_as_system)
add_dependencies(installer_tests test_msi_older test_msi_failing_tool test_msi_as_system)
