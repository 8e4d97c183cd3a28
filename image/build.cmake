# kx4-splash-preview: writes what the display will show for a picture.
add_executable(kx4-splash-preview ${CMAKE_CURRENT_LIST_DIR}/preview/main.cpp)
target_link_libraries(kx4-splash-preview PRIVATE kx4core)
