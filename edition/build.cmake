# The edition to build. Every layer may include edition/Edition.h, which turns the
# choice into constants and lists every difference between the two editions.
#   -DKX4_EDITION=current   version 0.2.0 (default)
#   -DKX4_EDITION=update    version 0.1.0 with update checks (updater/)
set(KX4_EDITION "current" CACHE STRING "Edition to build: current or update")
set_property(CACHE KX4_EDITION PROPERTY STRINGS current update)
if(KX4_EDITION STREQUAL "update")
    set(KX4_UPDATE_EDITION ON)
elseif(KX4_EDITION STREQUAL "current")
    set(KX4_UPDATE_EDITION OFF)
else()
    message(FATAL_ERROR "KX4_EDITION must be current or update, not '${KX4_EDITION}'")
endif()
target_compile_definitions(kx4core PUBLIC KX4_UPDATE_EDITION=$<BOOL:${KX4_UPDATE_EDITION}>)
