# The programs that ship beside the utility (tools/): the self-check, the
# command sender, the task tool setup runs and the Windows Installer
# package's custom actions. As the utility, each is signed, pins its library
# search to System32 and is in the installers' lists (Installer.cmake).

add_executable(orvane_probe tools/probe/main.cpp tools/probe/StatusGather.cpp res/ShippedTool.rc)
orvane_version_record(orvane_probe)
target_link_libraries(orvane_probe orvane_hid orvane_hid_platform orvane_tools orvane_task
  orvane_actions msi)

add_executable(orvane_post tools/post/main.cpp res/ShippedTool.rc)
orvane_version_record(orvane_post)
target_include_directories(orvane_post PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(orvane_post PRIVATE -municode)

# The logon task that the installers register and remove, the install
# folder they protect, and the utility's copies they end and start.
add_library(orvane_task STATIC
  tools/logontask/LogonTask.cpp
  tools/logontask/InstallFolder.cpp
  tools/logontask/Sessions.cpp
  tools/logontask/Accounts.cpp)
target_include_directories(orvane_task PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(orvane_task PUBLIC ole32 oleaut32 taskschd wtsapi32 netapi32)
add_executable(orvane_logon_task tools/logontask/main.cpp tools/logontask/SessionCalls.cpp)
target_link_libraries(orvane_logon_task orvane_task)
target_link_options(orvane_logon_task PRIVATE -municode)
# orvane_package_actions(NAME CALLS-SOURCE): the task tool's verbs as the
# package's custom actions, on the machine CALLS-SOURCE gives them.
function(orvane_package_actions name calls)
  add_library(${name} SHARED tools/logontask/PackageActions.cpp ${calls})
  set_target_properties(${name} PROPERTIES PREFIX "")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} orvane_task msi)
  target_link_options(${name} PRIVATE -Wl,--kill-at)  # the names Windows Installer asks for
endfunction()
orvane_package_actions(orvane_package_actions tools/logontask/SessionCalls.cpp)
