# Installation and packages.
#
# Linux layout (prefix /usr for the Debian package, anything for cmake --install):
#   <prefix>/lib/veltrokx4/veltrokx4        the program, in a folder of its own
#   <prefix>/lib/veltrokx4/lumaflo.exe      where the firmware-update utility goes:
#                                           the program starts it from its own folder
#   <prefix>/bin/veltrokx4                  relative symbolic link to the program
#   <prefix>/share/applications/veltrokx4.desktop, <prefix>/share/icons/hicolor/*/apps/veltrokx4.png
# The interface, its translations, the icon font and the catalogue are compiled
# into the program; at run time it needs only the system's Qt 5 and its QML modules.
#
# Windows: the program goes into <prefix> itself with the Qt files windeployqt
# adds beside it, and lumaflo.exe is put next to veltrokx4.exe.

if(NOT TARGET veltrokx4)
    return()
endif()

set(KX4_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

if(WIN32)
    install(TARGETS veltrokx4 RUNTIME DESTINATION .)
    get_target_property(kx4_qmake Qt${KX4_QT_MAJOR}::qmake IMPORTED_LOCATION)
    get_filename_component(kx4_qt_bin ${kx4_qmake} DIRECTORY)
    find_program(KX4_WINDEPLOYQT windeployqt HINTS ${kx4_qt_bin})
    if(KX4_WINDEPLOYQT)
        install(CODE "execute_process(COMMAND \"${KX4_WINDEPLOYQT}\" --qmldir \"${CMAKE_SOURCE_DIR}/ui\"
                          \"\${CMAKE_INSTALL_PREFIX}/veltrokx4.exe\"
                          RESULT_VARIABLE rc)
                      if(NOT rc EQUAL 0)
                          message(FATAL_ERROR \"windeployqt failed\")
                      endif()")
    endif()
    set(CPACK_GENERATOR ZIP)
elseif(UNIX AND NOT APPLE)
    include(GNUInstallDirs)
    set(KX4_APP_DIR lib/veltrokx4)
    install(TARGETS veltrokx4 RUNTIME DESTINATION ${KX4_APP_DIR})
    # The program looks for the update utility and plug-ins in its own folder:
    # the link in bin/ must not become that folder, so it is a symbolic link
    # (the program's folder is the link's target) rather than a copy.
    install(CODE "
        set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(MAKE_DIRECTORY \"\${bin}\")
        file(CREATE_LINK ../${KX4_APP_DIR}/veltrokx4 \"\${bin}/veltrokx4\" SYMBOLIC)
        message(STATUS \"Installing: \${bin}/veltrokx4 -> ../${KX4_APP_DIR}/veltrokx4\")")

    install(FILES ${KX4_PACKAGING_DIR}/veltrokx4.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

    # The theme icons are the frames of the window icon.
    add_executable(kx4-exporticon ${KX4_PACKAGING_DIR}/exporticon.cpp)
    target_link_libraries(kx4-exporticon PRIVATE Qt::Gui)
    set(KX4_ICON_SIZES 16 24 32 48 64 128 256)
    set(KX4_ICON_THEME ${CMAKE_BINARY_DIR}/icons/hicolor)
    set(KX4_ICON_FILES)
    foreach(size ${KX4_ICON_SIZES})
        list(APPEND KX4_ICON_FILES ${KX4_ICON_THEME}/${size}x${size}/apps/veltrokx4.png)
    endforeach()
    add_custom_command(
        OUTPUT ${KX4_ICON_FILES}
        COMMAND kx4-exporticon ${CMAKE_SOURCE_DIR}/ui/icons/lumarec.ico ${KX4_ICON_THEME}
                veltrokx4 ${KX4_ICON_SIZES}
        DEPENDS kx4-exporticon ${CMAKE_SOURCE_DIR}/ui/icons/lumarec.ico
        COMMENT "Exporting the desktop icons"
        VERBATIM)
    add_custom_target(kx4-icons ALL DEPENDS ${KX4_ICON_FILES})
    install(DIRECTORY ${KX4_ICON_THEME} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

    install(FILES ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/veltrokx4)

    set(CPACK_GENERATOR DEB)
endif()

# Debian package: veltrokx4_<version>_<arch>.deb, made from the current
# edition's build only: the update-checking edition (KX4_EDITION=update) is
# another release with its own version and identity, and a package of it under
# this name and version would pass for the current one.
if(KX4_UPDATE_EDITION)
    return()
endif()
# The Debian package is made from the Qt 5 build: its dependencies and checks
# (scripts/check-package) name Debian's Qt 5 packages.
if(NOT KX4_QT_MAJOR STREQUAL "5")
    return()
endif()
# Debian package: veltrokx4_<version>_<arch>.deb
set(CPACK_PACKAGE_NAME veltrokx4)
set(CPACK_PACKAGE_VENDOR "Veltro")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Veltro KX4 developers <kx4@veltro.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration tool for the KX4 CAN-bus instrument dashboard")
set(CPACK_PACKAGE_DESCRIPTION
    "Connects to a KX4 dashboard through an ELM327-class OBD/CAN adapter on a
serial port, reads and writes its display values and board settings, resets
the maintenance counters, uploads a splash picture, restarts the dashboard
and backs up its configuration memory.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Qt libraries and the C++ runtime: read from the program by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What dpkg-shlibdeps cannot see: the QML modules the pages import (checked
# against the pages' imports by scripts/check-package), and the framework's own
# Russian texts (dialog buttons). The icon font is compiled into the program, so
# fonts-material-design-icons-iconfont is not needed at run time.
set(KX4_DEB_RUNTIME_PACKAGES
    qml-module-qtquick2
    qml-module-qtquick-window2
    qml-module-qtquick-layouts
    qml-module-qtquick-controls
    qml-module-qtquick-controls2
    qml-module-qtquick-templates2
    qml-module-qtquick-dialogs
    qml-module-qtgraphicaleffects
    qml-module-qt-labs-settings
    qml-module-qtqml-models2
    qttranslations5-l10n)
list(JOIN KX4_DEB_RUNTIME_PACKAGES ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
