# Interface translations: every ui/lang/<name>_<language>.ts is compiled with
# lrelease and served as ":/lang/<name>_<language>.qm" from kx4ui's resources,
# where installTranslators() looks for "*_<language>.qm". initUiResources()
# registers them with the rest of the interface.
# The .ts files are kept up to date with scripts/translations.

set(KX4_LANG_GEN ${KX4_UI_GEN}/lang)
file(GLOB KX4_TS_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.ts)
set_source_files_properties(${KX4_TS_FILES} PROPERTIES OUTPUT_LOCATION ${KX4_LANG_GEN})
qt_add_translation(KX4_QM_FILES ${KX4_TS_FILES})

set(qrc_entries "")
foreach(qm ${KX4_QM_FILES})
    get_filename_component(qm_name ${qm} NAME)
    string(APPEND qrc_entries "        <file>${qm_name}</file>\n")
endforeach()
file(WRITE ${KX4_LANG_GEN}/lang.qrc.in
    "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n    <qresource prefix=\"/lang\">\n"
    "${qrc_entries}    </qresource>\n</RCC>\n")
configure_file(${KX4_LANG_GEN}/lang.qrc.in ${KX4_LANG_GEN}/lang.qrc COPYONLY)

# rcc by hand rather than AUTORCC: the .qm files it packs are built first.
add_custom_command(
    OUTPUT ${KX4_LANG_GEN}/qrc_lang.cpp
    COMMAND Qt${KX4_QT_MAJOR}::rcc --name lang --output ${KX4_LANG_GEN}/qrc_lang.cpp ${KX4_LANG_GEN}/lang.qrc
    DEPENDS ${KX4_LANG_GEN}/lang.qrc ${KX4_QM_FILES}
    WORKING_DIRECTORY ${KX4_LANG_GEN}
    COMMENT "Packing the interface translations"
    VERBATIM)
set_source_files_properties(${KX4_LANG_GEN}/qrc_lang.cpp PROPERTIES
    GENERATED TRUE SKIP_AUTOGEN TRUE)
target_sources(kx4ui PRIVATE ${KX4_LANG_GEN}/qrc_lang.cpp)
