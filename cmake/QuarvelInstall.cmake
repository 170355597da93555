# Install rules and the package configuration for find_package(Quarvel).
include(CMakePackageConfigHelpers)

install(TARGETS quarvel EXPORT QuarvelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quarvel)
foreach(dir image bmpio transform)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quarvel/${dir}
    FILES_MATCHING PATTERN "*.h")
endforeach()

install(EXPORT QuarvelTargets NAMESPACE Quarvel::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quarvel)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuarvelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuarvelConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quarvel)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuarvelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuarvelConfig.cmake
  ${PROJECT_BINARY_DIR}/QuarvelConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quarvel)

if(TARGET quarvel_module)
  install(TARGETS quarvel_module
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
