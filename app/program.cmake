# The program veltrokx4: main() and the interface resources on top of kx4core.
add_executable(veltrokx4 WIN32 ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(veltrokx4 PRIVATE kx4core kx4ui)
