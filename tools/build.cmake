# kx4-packcatalogue scrambles ui/data/catalogue.json into the catalogue resource
# (see config/build.cmake). It compiles the scrambler itself rather than linking
# kx4core, whose resources it produces.
add_executable(kx4-packcatalogue
    ${CMAKE_CURRENT_LIST_DIR}/packcatalogue.cpp
    ${CMAKE_SOURCE_DIR}/config/DataScrambler.cpp)
target_include_directories(kx4-packcatalogue PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(kx4-packcatalogue PRIVATE Qt::Core)
