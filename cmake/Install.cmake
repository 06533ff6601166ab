# The desktop install: `cmake --install <build> --prefix <folder>` makes <folder> a program
# folder (the executable; tamvi.set, logfile/ and ports/ appear beside it when used) and adds the
# desktop entry and the icon in the hicolor sizes under <folder>/share, in the freedesktop layout.
# The installed entry names the executable and the icon by absolute path, so a link to it from
# ~/.local/share/applications puts Tamvi in the desktop's menu wherever the folder is.
include(GNUInstallDirs)

install(TARGETS tamvi RUNTIME DESTINATION .)
# The logging station's unit and the example of collecting its logs belong to a system install
# (the package), not to a program folder: only `--component station` installs them.
install(FILES station/tamvi@.service DESTINATION /lib/systemd/system
        COMPONENT station EXCLUDE_FROM_ALL)
install(FILES station/rsyslog-tamvi.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tamvi/examples
        COMPONENT station EXCLUDE_FROM_ALL)
install(DIRECTORY ${PROJECT_BINARY_DIR}/resources/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons FILES_MATCHING PATTERN "tamvi.png")

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
