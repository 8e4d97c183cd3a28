# The interface: QML pages and controls, the icon font, icons and style, compiled
# into the static library kx4ui. The program and the interface tests link it and
# call initUiResources() before loading "qrc:/main.qml".

set(KX4_UI_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KX4_UI_GEN ${CMAKE_CURRENT_BINARY_DIR}/ui-gen)

# Debian's fonts-material-design-icons-iconfont ships the font and its
# name-to-code-point table; both are taken from there at configure time.
set(KX4_ICON_FONT
    /usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf
    CACHE FILEPATH "Material Icons font embedded as qrc:/fonts/MaterialIcons-Regular.ttf")
set(KX4_ICON_CODEPOINTS
    /usr/share/fonts-material-design-icons-iconfont/scss/_variables.scss
    CACHE FILEPATH "Name-to-code-point table of the Material Icons font (SCSS map)")
foreach(f ${KX4_ICON_FONT} ${KX4_ICON_CODEPOINTS})
    if(NOT EXISTS ${f})
        message(FATAL_ERROR "${f} is missing: install fonts-material-design-icons-iconfont (scripts/setup)")
    endif()
endforeach()

include(${KX4_UI_DIR}/fonts/MaterialFontMap.cmake)
kx4_generate_material_font(${KX4_ICON_CODEPOINTS}
    ${KX4_UI_DIR}/fonts/MaterialFont.qml.in ${KX4_UI_GEN}/MaterialFont.qml)
configure_file(${KX4_UI_DIR}/fonts/fonts.qrc.in ${KX4_UI_GEN}/fonts.qrc @ONLY)

# The file and message dialogs as qrc:/dialogs/, which the pages import as Dialogs:
# the framework's own under Qt 5 (QtQuick.Dialogs 1.3), stand-ins with the same API
# under Qt 6, which has no such module (dialogs/qt6/).
set(KX4_DIALOGS_QRC ${KX4_UI_GEN}/dialogs.qrc)
set(kx4_dialog_entries "")
foreach(f StandardButton.qml StandardIcon.qml)
    string(APPEND kx4_dialog_entries "        <file alias=\"${f}\">${KX4_UI_DIR}/dialogs/${f}</file>\n")
endforeach()
foreach(f FileDialog.qml MessageDialog.qml)
    string(APPEND kx4_dialog_entries
        "        <file alias=\"${f}\">${KX4_UI_DIR}/dialogs/qt${KX4_QT_MAJOR}/${f}</file>\n")
endforeach()
file(CONFIGURE OUTPUT ${KX4_DIALOGS_QRC} CONTENT
    "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n    <qresource prefix=\"/dialogs\">\n${kx4_dialog_entries}    </qresource>\n</RCC>\n")

# The update-checking edition brings its own resource list (updater/build.cmake).
if(NOT KX4_UI_QRC)
    set(KX4_UI_QRC ${KX4_UI_DIR}/ui.qrc)
endif()

add_library(kx4ui STATIC
    ${KX4_UI_DIR}/UiResources.cpp
    ${KX4_UI_DIR}/UiResources.h
    ${KX4_UI_QRC}
    ${KX4_UI_GEN}/fonts.qrc
    ${KX4_DIALOGS_QRC})
target_include_directories(kx4ui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kx4ui PUBLIC Qt::Core)

# The translations (ui/lang/), packed into kx4ui as ":/lang/".
include(${KX4_UI_DIR}/lang/build.cmake)
