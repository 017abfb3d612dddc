# The Debian package: ./vellora.sh package, or `cpack --config <build>/CPackConfig.cmake`.
# Installs for every user of the machine (see the install rules of each subsystem):
#   /usr/bin/vellora, /usr/bin/vellora-build       the programs users start
#   /usr/lib/vellora/                               the programs Vellora starts itself
#   /usr/share/vellora/                             the viewer files, the queue policy
#   /usr/lib/cups/backend/vellora (0700)            the printer's backend, run as root by cupsd
#   /usr/sbin/vellora-setup-printer, vellora-remove-printer   the administrator's commands
#   the menu entry, the icon and the session autostart entry (/etc/xdg/autostart)
#   /usr/share/man/man1, man8                       the manual pages, in French
# The package's scripts never touch the configuration of CUPS: setting the printer up is the
# administrator's step (vellora-setup-printer), as is its removal.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vellora <vellora@vellora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns printed documents into page-flip catalogues")
# The synopsis is the summary above; this is the extended description that follows it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Vellora adds a virtual printer: whatever is printed to it opens in Vellora,\n"
    "which turns it into a catalogue to leaf through in a web browser (one movie\n"
    "and images per page, an HTML5 page-flip viewer, a readme and its\n"
    "configuration). vellora-build does the same build from the command line.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # vellora_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE "")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Linked libraries by dpkg-shlibdeps; what is loaded or started rather than linked by hand:
# Qt's platform and image plugins, Qt's French translations, and the print system that the
# printer set-up uses.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-image-formats-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "cups, cups-client, cups-bsd, cups-filters, cups-core-drivers, dbus, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/deb/conffiles
    ${CMAKE_CURRENT_LIST_DIR}/deb/prerm)

# What Debian asks of every package: the copyright and the changelog under /usr/share/doc.
# The backend's mode is deliberate: lintian is told why in the override file itself.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/deb/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME vellora)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vellora RENAME copyright)
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CMAKE_BINARY_DIR}/deb/changelog
     "vellora (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n"
     " -- ${CPACK_PACKAGE_CONTACT}  ${changelog_date}\n")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/deb/changelog.gz
                   COMMAND gzip -9nf -k ${CMAKE_BINARY_DIR}/deb/changelog
                   DEPENDS ${CMAKE_BINARY_DIR}/deb/changelog)
add_custom_target(deb_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/deb/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/deb/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vellora)

include(CPack)
