# What `cmake --install` puts where (GNUInstallDirs), in two components:
#   runtime  the shared libraries, the programs, the sample programs, the
#            Designer plugin, the menu entry, the Python binding;
#   dev      the headers, the unversioned library links, the CMake package
#            and the pkg-config files.
#
# The three public libraries carry the project's version (1.0.0, soname
# .so.1). Their stand-ins for the platform services (the clock, the driver
# service and its virtual bus) are installed beside them with the same
# version but without headers or development links: nobody links them
# directly, the public libraries need them at run time.
#
# Run paths are relative, so an installed tree can be moved: a program looks
# in $ORIGIN/../lib (or wherever LIBDIR is relative to BINDIR), a library
# beside itself, the Designer plugin from Qt's plugin folder back to LIBDIR.

set(_tv_public_libs varnelpci qoradrv)
if(TARGET glyphkey)
  list(APPEND _tv_public_libs glyphkey)
endif()
set(_tv_support_libs tvplatform tvpcisvc tvvcard)

# The path from one installed folder to another, both relative to the prefix.
function(_tv_relative out from to)
  file(RELATIVE_PATH rel /_prefix/${from} /_prefix/${to})
  if(rel STREQUAL "")
    set(rel .)
  endif()
  set(${out} ${rel} PARENT_SCOPE)
endfunction()
_tv_relative(_tv_bin_to_lib ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_LIBDIR})

foreach(lib ${_tv_public_libs} ${_tv_support_libs})
  set_target_properties(${lib} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    INSTALL_RPATH "$ORIGIN")
endforeach()
foreach(lib ${_tv_public_libs})
  set_target_properties(${lib} PROPERTIES EXPORT_NAME ${lib})
endforeach()

# ---- libraries
install(TARGETS ${_tv_public_libs} EXPORT TervaneTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The stand-ins form an export set of their own, because CMake records a
# shared library's private shared dependencies (for the linker's
# -rpath-link). They export neither headers nor link names, and none of them
# is in a public library's link interface.
install(TARGETS ${_tv_support_libs} tvchipregs EXPORT TervaneSupportTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_SKIP)

# ---- headers, flat: <varnelpci.h>, <qoradrv.h>, <glyphkey/...>
install(FILES motion/include/varnelpci.h motion/include/varnelpci_sim.h
              cardaccess/include/qoradrv.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
if(TARGET glyphkey)
  install(DIRECTORY picbutton/include/glyphkey DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          COMPONENT dev FILES_MATCHING PATTERN "*.h")
endif()

# ---- programs
set(_tv_programs tv-run)
if(TARGET Tervane)
  list(APPEND _tv_programs Tervane)
endif()
set_target_properties(${_tv_programs} PROPERTIES INSTALL_RPATH "$ORIGIN/${_tv_bin_to_lib}")
install(TARGETS ${_tv_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(DIRECTORY tools/programs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tervane/programs
        COMPONENT runtime FILES_MATCHING PATTERN "*.tvp" PATTERN "*.ngc" PATTERN "*.nc"
        PATTERN "*.gcode")

if(TARGET Tervane)
  install(FILES data/tervane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT runtime)
  install(FILES data/tervane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          COMPONENT runtime)
endif()

# ---- the Designer plugin, into Qt's own plugin folder under the prefix
if(TARGET glyphkeyplugin)
  set(_tv_designer_dir ${QT6_INSTALL_PLUGINS}/designer)
  _tv_relative(_tv_plugin_to_lib ${_tv_designer_dir} ${CMAKE_INSTALL_LIBDIR})
  set_target_properties(glyphkeyplugin PROPERTIES INSTALL_RPATH "$ORIGIN/${_tv_plugin_to_lib}")
  install(TARGETS glyphkeyplugin LIBRARY DESTINATION ${_tv_designer_dir} COMPONENT runtime)
endif()

# ---- CMake package: find_package(Tervane CONFIG COMPONENTS varnelpci qoradrv glyphkey)
include(CMakePackageConfigHelpers)
set(TERVANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tervane)
install(EXPORT TervaneTargets NAMESPACE Tervane:: DESTINATION ${TERVANE_CMAKE_DIR}
        COMPONENT dev)
install(EXPORT TervaneSupportTargets NAMESPACE Tervane::support_ DESTINATION ${TERVANE_CMAKE_DIR}
        COMPONENT dev)
set(TERVANE_COMPONENTS ${_tv_public_libs})
configure_package_config_file(cmake/TervaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/TervaneConfig.cmake
  INSTALL_DESTINATION ${TERVANE_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/TervaneConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/TervaneConfig.cmake
              ${PROJECT_BINARY_DIR}/package/TervaneConfigVersion.cmake
        DESTINATION ${TERVANE_CMAKE_DIR} COMPONENT dev)

# ---- pkg-config files. The prefix is found from the file's own place, so a
# moved tree (or one installed with `cmake --install --prefix`) still works.
set(_tv_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
_tv_relative(_tv_pc_to_prefix ${_tv_pc_dir} .)
set(TV_PC_PREFIX "\${pcfiledir}/${_tv_pc_to_prefix}")
foreach(lib ${_tv_public_libs})
  configure_file(cmake/pkgconfig/${lib}.pc.in ${PROJECT_BINARY_DIR}/package/${lib}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/package/${lib}.pc DESTINATION ${_tv_pc_dir} COMPONENT dev)
endforeach()

# ---- the examples, as a project of their own that finds this installation
install(FILES examples/CMakeLists.txt examples/line_circle.c examples/read_encoder.cpp
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT dev)
