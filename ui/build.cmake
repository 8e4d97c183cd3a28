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

# The update-checking edition brings its own resource list (updater/build.cmake).
if(NOT KX4_UI_QRC)
    set(KX4_UI_QRC ${KX4_UI_DIR}/ui.qrc)
endif()

add_library(kx4ui STATIC
    ${KX4_UI_DIR}/UiResources.cpp
    ${KX4_UI_DIR}/UiResources.h
    ${KX4_UI_QRC}
    ${KX4_UI_GEN}/fonts.qrc)
target_include_directories(kx4ui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kx4ui PUBLIC Qt::Core)

# The translations (ui/lang/), packed into kx4ui as ":/lang/".
include(${KX4_UI_DIR}/lang/build.cmake)
