# Install rules (cmake --install) and the Debian package (the `package` target).
#
# The installed layout is the one the program looks for: the executable in
# bin/, its resources in share/velmora/ (the skins directly there, the help
# page in help/). Patient data is never installed; each user's lives in their
# own data folder.

include(GNUInstallDirs)

set(VELMORA_SOURCE ${CMAKE_CURRENT_LIST_DIR}/..)
set(VELMORA_PACKAGING ${VELMORA_SOURCE}/packaging)
set(VELMORA_ICONS ${VELMORA_SOURCE}/assets/icons)
set(VELMORA_APP_ID io.velmora.Velmora)

# Folders a package creates must not depend on the umask of whoever builds it.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Linked as Debian links its own programs: relocations resolved at start and
# then read-only.
target_link_options(velmora PRIVATE -Wl,-z,relro -Wl,-z,now)

file(GLOB VELMORA_SKIN_FILES CONFIGURE_DEPENDS ${VELMORA_SOURCE}/assets/skins/*.skn)
install(FILES ${VELMORA_SKIN_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora)
install(DIRECTORY ${VELMORA_SOURCE}/assets/help/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora/help)
# The group roles and grants of a shared server, for its owner to run.
install(FILES ${VELMORA_PACKAGING}/velmora-server.sql DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora)

install(FILES ${VELMORA_PACKAGING}/velmora.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VELMORA_PACKAGING}/${VELMORA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VELMORA_ICONS}/velmora.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${VELMORA_ICONS}/hicolor/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
        FILES_MATCHING PATTERN "*.png")

# Debian wants the manual page and the changelog compressed, and reproducibly
# so: no name or time stamp in the gzip header.
find_program(VELMORA_GZIP gzip REQUIRED)
set(VELMORA_COMPRESSED ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${VELMORA_COMPRESSED})
add_custom_command(
    OUTPUT ${VELMORA_COMPRESSED}/velmora.1.gz ${VELMORA_COMPRESSED}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${VELMORA_PACKAGING}/velmora.1 ${VELMORA_PACKAGING}/changelog
            ${VELMORA_COMPRESSED}
    COMMAND ${VELMORA_GZIP} -n -9 -f velmora.1 changelog
    DEPENDS ${VELMORA_PACKAGING}/velmora.1 ${VELMORA_PACKAGING}/changelog
    WORKING_DIRECTORY ${VELMORA_COMPRESSED}
    VERBATIM)
add_custom_target(velmora_compressed_docs ALL
    DEPENDS ${VELMORA_COMPRESSED}/velmora.1.gz ${VELMORA_COMPRESSED}/changelog.gz)
# Whoever builds only the program can still install or package it.
add_dependencies(velmora velmora_compressed_docs)

install(FILES ${VELMORA_COMPRESSED}/velmora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# GNUInstallDirs names the doc folder after the project, Velmora; Debian wants
# the package's name.
set(VELMORA_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/velmora)
install(FILES ${VELMORA_PACKAGING}/copyright ${VELMORA_COMPRESSED}/changelog.gz
        DESTINATION ${VELMORA_DOCDIR})
install(FILES ${VELMORA_PACKAGING}/README-clinics.md DESTINATION ${VELMORA_DOCDIR} RENAME README.md)

# The scheduled sealed backup: a systemd user service and its timer, off
# until a clinic enables the timer for its user.
install(FILES ${VELMORA_PACKAGING}/systemd/velmora-backup.service
              ${VELMORA_PACKAGING}/systemd/velmora-backup.timer
        DESTINATION lib/systemd/user)

# The package: velmora_<version>_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora maintainers")
set(CPACK_PACKAGE_CONTACT "Velmora maintainers <maintainers@velmora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "defence-styles questionnaire for counselling clinics")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora registers the people who take a 14-item defence-styles questionnaire,
lets them answer it item by item, scores the answer sheet into seven scale
scores, draws the profile chart, prints a one-page report and backs the
subject database up. The interface is in Persian, right to left, with dates
in the Persian solar calendar.

Each user's data lives in a private folder, ~/.local/share/velmora unless
another is chosen.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries do not tell dpkg-shlibdeps: the Qt plugins the program
# loads (databases, the windowing system), the Persian translations of Qt's
# own dialogs, the fonts its windows and report are drawn with, and the age
# programs that seal and open backups.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-farsiweb, fonts-noto-core, libqt6sql6-sqlite, libqt6sql6-psql, qt6-translations-l10n, qt6-qpa-plugins, age")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
