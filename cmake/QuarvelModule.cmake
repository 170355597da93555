# The module: one exported function, BMPChecker, and nothing else.
set(QUARVEL_MODULE_NAME ZIDUVIDEZUDIZADUV)

add_library(quarvel_module SHARED ${PROJECT_SOURCE_DIR}/checker/BmpChecker.cpp)
target_link_libraries(quarvel_module PRIVATE quarvel_checker quarvel quarvel_platform)
set_target_properties(quarvel_module PROPERTIES
  OUTPUT_NAME ${QUARVEL_MODULE_NAME}
  PREFIX ""
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
quarvel_compile_options(quarvel_module)

if(WIN32)
  # The export directory (name, one entry at ordinal 1) comes from the
  # module-definition file; the version resource from the .rc file.
  target_sources(quarvel_module PRIVATE
    ${PROJECT_SOURCE_DIR}/platform/ModuleEntry.cpp
    ${PROJECT_SOURCE_DIR}/platform/ZIDUVIDEZUDIZADUV.def
    ${PROJECT_SOURCE_DIR}/platform/ZIDUVIDEZUDIZADUV.rc)
  if(MINGW)
    target_link_options(quarvel_module PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
else()
  # Hidden visibility keeps our own symbols in; the version script also
  # hides whatever the static libraries and the runtime would add.
  set_target_properties(quarvel_module PROPERTIES
    LINK_DEPENDS ${PROJECT_SOURCE_DIR}/checker/BMPChecker.map)
  target_link_options(quarvel_module PRIVATE
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/checker/BMPChecker.map
    -Wl,-soname,${QUARVEL_MODULE_NAME}.so
    -Wl,--no-undefined)
endif()
