# Debian packages of the install components (scripts/package runs cpack):
#   tervane      the runtime component: libraries, programs, plugin, menu entry;
#   tervane-dev  the dev component: headers, CMake package, pkg-config files.
# The runtime's dependencies come from dpkg-shlibdeps; -dev depends on the
# runtime of the same version.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tervane)
set(CPACK_PACKAGE_VENDOR "Tervane developers")
set(CPACK_PACKAGE_CONTACT "Tervane developers <tervane@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY tervane)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime dev)

# CPack puts the project's description before each package's text as its
# synopsis line.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "python3, python3-matplotlib")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_COMPONENT_RUNTIME_DISPLAY_NAME "Tervane libraries and programs")
set(CPACK_COMPONENT_DEV_DISPLAY_NAME "Tervane development files")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME tervane)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION science)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "The runtime: the motion library libvarnelpci, the card-access library libqoradrv, the
picture-button widget library libglyphkey with its Qt Designer plugin, the
operator program Tervane and the motion-program runner tv-run with sample
programs. Without a card the libraries run on a virtual card.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME tervane-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "Development files: headers varnelpci.h, qoradrv.h and glyphkey/, the CMake package Tervane
(find_package(Tervane CONFIG COMPONENTS varnelpci qoradrv glyphkey)) and
the pkg-config files varnelpci.pc, qoradrv.pc and glyphkey.pc.")

include(CPack)
