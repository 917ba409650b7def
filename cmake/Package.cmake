# cpack -G DEB (scripts/package.sh runs it): fotolyx_VERSION_ARCH.deb from the install rules,
# stripped, with its library dependencies computed by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fotolyx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${FOTOLYX_MAINTAINER}")
# cpack writes the summary as the synopsis and the description below it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program for the Vistacam camcorder")
set(CPACK_PACKAGE_DESCRIPTION
    "Fotolyx talks to the Vistacam camcorder over its serial cable or a USB\n"
    "serial adapter: it lists and downloads the pictures on the camera's card,\n"
    "shows the live picture, adjusts, prints and saves pictures and sends\n"
    "pictures to the camera. fotolyx-cli does the same from the command line,\n"
    "and fotolyx-camsim plays the camera on a pseudo-terminal.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
