# Drawn at build time: the application icon, the OSD bitmaps the programs
# carry and the skins that go to the "skins" folder beside the executables.
set(ICON ${CMAKE_CURRENT_BINARY_DIR}/res/app.ico)
add_custom_command(OUTPUT ${ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/res
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/generators/icon/make_icon.py ${ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/generators/icon/make_icon.py
  COMMENT "Drawing the application icon")
set_source_files_properties(res/Orvane_Keyboard_Hid.rc PROPERTIES
  OBJECT_DEPENDS "${ICON};${CMAKE_SOURCE_DIR}/res/Orvane_Keyboard_Hid.manifest")

set(OSD_BITMAPS)
foreach(id 200 201 202 203)
  list(APPEND OSD_BITMAPS ${CMAKE_CURRENT_BINARY_DIR}/res/osd${id}.bmp)
endforeach()
set(OSD_SKIN_DIR ${CMAKE_CURRENT_BINARY_DIR}/skins)
set(OSD_SKINS ${OSD_SKIN_DIR}/OSDIntelligence.png ${OSD_SKIN_DIR}/OSDPerformance.png)
file(GLOB OSD_ART_SOURCES ${CMAKE_SOURCE_DIR}/generators/osdart/*.py)
add_custom_command(OUTPUT ${OSD_BITMAPS} ${OSD_SKINS}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/generators/osdart/make_osd_art.py
    ${CMAKE_CURRENT_BINARY_DIR}/res ${OSD_SKIN_DIR}
  DEPENDS ${OSD_ART_SOURCES}
  COMMENT "Drawing the OSD bitmaps and skins")
add_custom_target(osd_art ALL DEPENDS ${OSD_BITMAPS} ${OSD_SKINS})
set(OSD_RC_DEPENDS ${OSD_BITMAPS} ${CMAKE_SOURCE_DIR}/res/OsdImages.rc)
set_property(SOURCE res/Orvane_Keyboard_Hid.rc APPEND PROPERTY OBJECT_DEPENDS ${OSD_RC_DEPENDS})
set_property(SOURCE res/OsdImages.rc APPEND PROPERTY OBJECT_DEPENDS ${OSD_RC_DEPENDS})

# A program that shows the OSD itself carries the bitmaps: the bar loads them
# from the running module.
function(orvane_carry_osd_bitmaps target)
  target_sources(${target} PRIVATE res/OsdImages.rc)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/res)
  add_dependencies(${target} osd_art)
endfunction()
