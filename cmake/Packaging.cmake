# Installation as any Debian program, and the .deb that carries it
# (`cpack -G DEB` in the build folder).
include(GNUInstallDirs)

install(TARGETS tavlin tavlin-cli tavlin-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The virtual USB converter is preloaded by the program itself
# (--simulate-usb), which looks for it in lib/tavlin beside its own folder.
install(TARGETS tavlin_virtual_usb_preload LIBRARY DESTINATION lib/tavlin)

install(FILES packaging/tavlin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/tavlin-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME tavlin.xml)
install(FILES packaging/tavlin.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# udev reads rules from /usr/lib/udev/rules.d whatever the libdir is.
install(FILES packaging/70-tavlin.rules DESTINATION lib/udev/rules.d)
# systemd reads the packages' units from /usr/lib/systemd/system likewise.
install(FILES packaging/tavlin-server@.service DESTINATION lib/systemd/system)
install(DIRECTORY scenes/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tavlin/scenes
        FILES_MATCHING PATTERN "*.json" PATTERN "*.kvo" PATTERN "*.csv")
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Man pages and the changelog go compressed, as Debian keeps them.
set(TAVLIN_COMPRESSED_DOCS)
foreach(page tavlin.1 tavlin-cli.1 tavlin-server.1)
    set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/docs/man/${page} > ${compressed}
        DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/docs/man/${page}
        VERBATIM)
    list(APPEND TAVLIN_COMPRESSED_DOCS ${compressed})
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(TAVLIN_CHANGELOG ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${TAVLIN_CHANGELOG}
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog > ${TAVLIN_CHANGELOG}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
list(APPEND TAVLIN_COMPRESSED_DOCS ${TAVLIN_CHANGELOG})
add_custom_target(tavlin_compressed_docs ALL DEPENDS ${TAVLIN_COMPRESSED_DOCS})
install(FILES ${TAVLIN_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_BINARY_DIR}/manual.pdf DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavlin)
set(CPACK_PACKAGE_VENDOR "The Tavlin developers")
set(CPACK_PACKAGE_CONTACT "Tavlin developers <support@tavlin.example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "swept spectrum analyzer for the Tavlin USB receiver")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "The Tavlin is a USB RF receiver from 0 to 4.4 GHz with no screen of its own;\n"
    "this program makes it a swept spectrum analyzer: screen and front panel,\n"
    "markers, zero span, measuring receiver, audio listener, phase-noise and\n"
    "harmonics plots, state files, remote automation over TCP and SCPI, self\n"
    "test and calibration. A virtual instrument lets it run without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tavlin.example.com/")
# The shared libraries' packages, found by dpkg-shlibdeps, and Qt's platform
# plugins, which no library links but without which no window opens;
# xdg-utils opens the calibration report and the manual with the desktop's
# programs, and Liberation stands in for the plots' Arial.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-liberation")
# The factory procedures reach their GPIB bench through linux-gpib's
# libgpib.so.0, loaded only when a procedure runs; Debian 12 does not carry
# it, so it is suggested under the library package's usual name.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libgpib0")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
