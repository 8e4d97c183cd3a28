# The fuzz targets as a library: linked by the libFuzzer programs and by tst_fuzzreplay.
if(NOT TARGET kx4fuzzharness)
    file(GLOB KX4_FUZZ_HARNESS_SOURCES CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_LIST_DIR}/*.cpp ${CMAKE_CURRENT_LIST_DIR}/*.h)
    add_library(kx4fuzzharness STATIC ${KX4_FUZZ_HARNESS_SOURCES})
    target_include_directories(kx4fuzzharness PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(kx4fuzzharness PUBLIC kx4core)
endif()
