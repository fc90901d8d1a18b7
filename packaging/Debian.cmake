# The Debian package, built by `make deb` (cpack -G DEB in the build tree):
# quillmarch_<version>-<release>_<arch>.deb with the install rules' files below /usr.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmarch)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Brackenfold Quillmarch Maintainers <quillmarch@brackenfold.example>")

# The Debian revision of this packaging; it and the version must match the first entry of
# debian/changelog (the package test compares them).
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.brackenfold.example/")
# The libraries' packages come from dpkg-shlibdeps; the window's font is a file, not a library.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
# The window needs Qt's X11/Wayland platform plugins and Help > View Manual needs xdg-open;
# a service or command-line job needs neither.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The synopsis, then the long description (indented by the generator).
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert scanning-station index files into BIF batch import files")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quillmarch turns the index files a scanning station writes (one line per
scanned document, with its field values and the path of its image) into BIF
batch import files for a document management system, and moves the images
below the BIF file's folder when asked. Jobs are kept in .sbf files and edited
in one window; they run from the window, once from the command line, every
five minutes, or as a systemd service registered with
quillmarch --install-service.")

include(CPack)
