# Two installs of the same program:
# - the program folder (default): `cmake --install <build> --prefix <folder>` makes <folder> a
#   program folder (the executable; tamvi.set, logfile/ and ports/ appear beside it when used)
#   and adds the desktop entry and the icon in the hicolor sizes under <folder>/share, in the
#   freedesktop layout. The installed entry names the executable and the icon by absolute path,
#   so a link to it from ~/.local/share/applications puts Tamvi in the desktop's menu wherever
#   the folder is.
# - the system (TAMVI_SYSTEM_INSTALL, the Debian package, prefix /usr): the programs in bin/, the
#   entry and the icons by name, man pages, the package's documents and the station's unit.
include(GNUInstallDirs)

# Whatever the umask of the machine that builds the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(DIRECTORY ${PROJECT_BINARY_DIR}/resources/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons FILES_MATCHING PATTERN "tamvi.png")

if(TAMVI_SYSTEM_INSTALL)
    install(TARGETS tamvi tamvi-device RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/tamvi.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    # The logging station's unit where Debian 12 keeps a package's units, and the example of
    # collecting many stations' logs.
    install(FILES ${PROJECT_SOURCE_DIR}/station/tamvi@.service DESTINATION /lib/systemd/system)
    install(FILES ${PROJECT_SOURCE_DIR}/station/rsyslog-tamvi.conf
                  ${PROJECT_SOURCE_DIR}/station/tamvi.set
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tamvi/examples)
    # The stations' user and group, made by the package's postinst.
    install(FILES ${PROJECT_SOURCE_DIR}/station/sysusers.conf DESTINATION /usr/lib/sysusers.d
            RENAME tamvi.conf)
    include(cmake/Package.cmake)
    return()
endif()

install(TARGETS tamvi RUNTIME DESTINATION .)
# The prefix is known only when installing (--prefix), so the entry is written then.
install(CODE "
    set(entry_source \"${PROJECT_SOURCE_DIR}/resources/tamvi.desktop\")
    set(data_dir \"${CMAKE_INSTALL_DATADIR}\")
    set(program_folder \"\${CMAKE_INSTALL_PREFIX}\")
    set(icon \"\${program_folder}/\${data_dir}/icons/hicolor/256x256/apps/tamvi.png\")
    file(READ \"\${entry_source}\" entry)
    string(REPLACE \"\\nExec=tamvi\\n\" \"\\nExec=\\\"\${program_folder}/tamvi\\\"\\n\" entry \"\${entry}\")
    string(REPLACE \"\\nIcon=tamvi\\n\" \"\\nIcon=\${icon}\\n\" entry \"\${entry}\")
    set(target \"\$ENV{DESTDIR}\${program_folder}/\${data_dir}/applications/tamvi.desktop\")
    message(STATUS \"Installing: \${target}\")
    file(WRITE \"\${target}\" \"\${entry}\")
")
