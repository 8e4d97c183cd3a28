# The update checker that the update-checking edition adds. The edition itself is
# chosen in edition/build.cmake (KX4_EDITION), which the build includes first.

# WinSparkle exists for Windows only; elsewhere (and on Windows without it) the
# update checker uses its own appcast reader.
set(KX4_SPARKLE_SOURCE ${CMAKE_CURRENT_LIST_DIR}/SparkleUpdater.cpp)
if(WIN32)
    find_path(WINSPARKLE_INCLUDE_DIR winsparkle.h)
    find_library(WINSPARKLE_LIBRARY NAMES WinSparkle winsparkle)
endif()
if(WIN32 AND WINSPARKLE_INCLUDE_DIR AND WINSPARKLE_LIBRARY)
    target_include_directories(kx4core PRIVATE ${WINSPARKLE_INCLUDE_DIR})
    target_link_libraries(kx4core PUBLIC ${WINSPARKLE_LIBRARY})
    target_compile_definitions(kx4core PUBLIC KX4_HAVE_WINSPARKLE=1)
else()
    set_source_files_properties(${KX4_SPARKLE_SOURCE} PROPERTIES HEADER_FILE_ONLY ON)
endif()

# The update-checking edition's own pages replace the current ones under the same
# resource names; everything else in ui/ui.qrc is shared. ui/build.cmake compiles
# KX4_UI_QRC when it is set.
if(KX4_UPDATE_EDITION)
    set(ui_dir ${CMAKE_SOURCE_DIR}/ui)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ui_dir}/ui.qrc)
    file(READ ${ui_dir}/ui.qrc qrc)
    # Absolute paths, since the generated file lives in the build folder.
    string(REGEX REPLACE "<file>([^<]+)</file>" "<file alias=\"\\1\">${ui_dir}/\\1</file>"
        qrc "${qrc}")
    string(REGEX REPLACE "(<file alias=\"[^\"]+\">)([^/][^<]*)</file>" "\\1${ui_dir}/\\2</file>"
        qrc "${qrc}")
    foreach(page main.qml pages/DevicePage.qml)
        get_filename_component(name ${page} NAME)
        string(REPLACE "\">${ui_dir}/${page}<" "\">${ui_dir}/edition-update/${name}<"
            qrc "${qrc}")
    endforeach()
    # Named like the original: UiResources.cpp registers the resource "ui".
    set(KX4_UI_QRC ${CMAKE_CURRENT_BINARY_DIR}/ui-gen/edition-update/ui.qrc)
    file(CONFIGURE OUTPUT ${KX4_UI_QRC} CONTENT "${qrc}" @ONLY)
endif()
