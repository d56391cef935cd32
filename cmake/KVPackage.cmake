# The Debian package: `cpack -G DEB` in the build folder. The libraries the program links give
# the dependencies (dpkg-shlibdeps); the rest is what the program needs at run time.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirova-calendar)
set(CPACK_PACKAGE_VENDOR "Kel Voro")
set(CPACK_PACKAGE_CONTACT "Kel Voro <mirova@kelvoro.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop calendar drawn over a picture as the desktop background")
set(CPACK_PACKAGE_DESCRIPTION "Draws the month, the month grids, the quick notes and each coming day's \
holidays and diary entry over a background picture and makes the result the desktop background. \
Lives in the tray, rotates the picture from image packs or the user's own pictures, and keeps a \
diary and quick notes.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Texts name Arial, Times New Roman and Courier New: the metric-compatible fonts stand in.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
# SVG pictures as icons; links and mail through the desktop's handlers.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6svg6, xdg-utils")
# The background on wlroots compositors other than sway.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "swaybg")
include(CPack)
