# The parameter catalogue: ui/data/catalogue.json is the readable source; the build
# scrambles it with kx4-packcatalogue (tools/) and compiles only the scrambled form
# into kx4core as "://data/codes.dat".
set(KX4_CATALOGUE_SOURCE ${CMAKE_SOURCE_DIR}/ui/data/catalogue.json)
set(KX4_CATALOGUE_DIR ${CMAKE_BINARY_DIR}/catalogue)
set(KX4_CATALOGUE_DAT ${KX4_CATALOGUE_DIR}/data/codes.dat)
set(KX4_CATALOGUE_QRC ${KX4_CATALOGUE_DIR}/catalogue.qrc)
set(KX4_CATALOGUE_CPP ${KX4_CATALOGUE_DIR}/qrc_catalogue.cpp)

file(WRITE ${KX4_CATALOGUE_QRC}.in
    "<RCC>\n  <qresource prefix=\"/\">\n    <file>data/codes.dat</file>\n  </qresource>\n</RCC>\n")
configure_file(${KX4_CATALOGUE_QRC}.in ${KX4_CATALOGUE_QRC} COPYONLY)

add_custom_command(
    OUTPUT ${KX4_CATALOGUE_DAT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KX4_CATALOGUE_DIR}/data
    COMMAND kx4-packcatalogue ${KX4_CATALOGUE_SOURCE} ${KX4_CATALOGUE_DAT}
    DEPENDS kx4-packcatalogue ${KX4_CATALOGUE_SOURCE}
    COMMENT "Scrambling the parameter catalogue"
    VERBATIM)

add_custom_command(
    OUTPUT ${KX4_CATALOGUE_CPP}
    COMMAND Qt${KX4_QT_MAJOR}::rcc --name catalogue --output ${KX4_CATALOGUE_CPP} ${KX4_CATALOGUE_QRC}
    DEPENDS ${KX4_CATALOGUE_QRC} ${KX4_CATALOGUE_DAT}
    WORKING_DIRECTORY ${KX4_CATALOGUE_DIR}
    VERBATIM)

set_source_files_properties(${KX4_CATALOGUE_CPP} PROPERTIES GENERATED TRUE SKIP_AUTOGEN TRUE)
target_sources(kx4core PRIVATE ${KX4_CATALOGUE_CPP})
