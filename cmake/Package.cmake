# The Debian package, made by CPack from the system install (scripts/package runs it):
# tamvi_<version>-<revision>_<arch>.deb. The version is the project's, as --version says it.
set(TAMVI_DEB_REVISION 1)
set(TAMVI_DEB_VERSION ${PROJECT_VERSION}-${TAMVI_DEB_REVISION})
set(TAMVI_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tamvi)

# Debian wants man pages and changelogs compressed, without a time stamp in the gzip header.
set(compressed)
foreach(page tamvi.1 tamvi-device.1)
    configure_file(${PROJECT_SOURCE_DIR}/doc/${page} ${PROJECT_BINARY_DIR}/doc/${page} @ONLY)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/doc/changelog.Debian.in
               ${PROJECT_BINARY_DIR}/doc/changelog.Debian @ONLY)
foreach(file tamvi.1 tamvi-device.1 changelog.Debian)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/doc/${file}.gz
                       COMMAND gzip -9nf -k ${PROJECT_BINARY_DIR}/doc/${file}
                       DEPENDS ${PROJECT_BINARY_DIR}/doc/${file})
    list(APPEND compressed ${PROJECT_BINARY_DIR}/doc/${file}.gz)
endforeach()
add_custom_target(tamvi_package_documents ALL DEPENDS ${compressed})

install(FILES ${PROJECT_BINARY_DIR}/doc/tamvi.1.gz ${PROJECT_BINARY_DIR}/doc/tamvi-device.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/doc/copyright ${PROJECT_BINARY_DIR}/doc/changelog.Debian.gz
        DESTINATION ${TAMVI_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamvi)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TAMVI_DEB_REVISION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_CONTACT "Tamvi maintainers <maintainers@users.noreply.c-seed-bc2f01ee.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link are found by dpkg-shlibdeps; what the window loads at run time
# no linker sees: Qt's platform plugins (no window without them) and the log view's font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
set(CPACK_STRIP_FILES ON)
# What a package with a unit does at install, upgrade, removal and purge (debhelper's model).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/station/postinst
                                       ${PROJECT_SOURCE_DIR}/station/prerm
                                       ${PROJECT_SOURCE_DIR}/station/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial (RS-232) line monitor, logger and terminal")
# CPack puts the summary in front of this as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tamvi watches, logs and drives one serial line. It opens one port with
stored line settings and handshake, shows every received byte in a log
view (control characters spelled out as [STX], [ETX] ..., or in
hexadecimal, or as plain text), and writes every finished line with a time
stamp to a log file of its own for each day, which tail -f can follow.
.
It sends what is typed on its window and eight stored quick-send
sequences with an optional checksum, and shows TxD, RxD, RTS and CTS
lamps. A lost USB adapter is opened again by itself when it returns, and
log lines that cannot be written are kept until the folder works again.
.
Each instrument has a folder of its own for settings, logs and port links
(tamvi --folder DIR). tamvi-device, a simulated instrument on a
pseudo-terminal, lets you try it without hardware.")
include(CPack)
