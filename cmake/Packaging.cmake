# Installation and packaging of the shipped library: the header, the library,
# a CMake package (find_package(portrelay) gives portrelay::portrelay), a
# pkg-config file and, for the DLL, a version resource. The version is
# PROJECT_VERSION, set once by project() in the top-level CMakeLists.txt.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(PORTRELAY_DESCRIPTION "Motion engine library of a motion-simulator rig")

# The log's first line names the version (src/log/logger.cpp).
target_compile_definitions(portrelay_core PUBLIC PORTRELAY_VERSION="${PROJECT_VERSION}")

target_include_directories(portrelay INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                               $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

if(WIN32)
  # Product name, version and description in the DLL's file properties.
  enable_language(RC)
  set(_rc ${PROJECT_BINARY_DIR}/generated/portrelay_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/portrelay_version.rc.in ${_rc} @ONLY)
  target_sources(portrelay PRIVATE ${_rc})
endif()

install(TARGETS portrelay EXPORT portrelayTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/portrelay/portrelay.h ${PROJECT_SOURCE_DIR}/include/portrelay/wind_serial.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/portrelay)

set(PORTRELAY_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/portrelay)
install(EXPORT portrelayTargets NAMESPACE portrelay:: DESTINATION ${PORTRELAY_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/portrelayConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/generated/portrelayConfig.cmake
                              INSTALL_DESTINATION ${PORTRELAY_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/generated/portrelayConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/generated/portrelayConfig.cmake
              ${PROJECT_BINARY_DIR}/generated/portrelayConfigVersion.cmake
        DESTINATION ${PORTRELAY_CMAKE_DIR})

# pkg-config: paths relative to the prefix the package is installed to.
configure_file(${PROJECT_SOURCE_DIR}/cmake/portrelay.pc.in ${PROJECT_BINARY_DIR}/generated/portrelay.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/generated/portrelay.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
