# The Debian package, made by CPack (cpack -G DEB in the build folder; see
# scripts/package.sh): the program, its desktop entry and icons, a manual
# page, and the documents Debian asks every package to carry. Its
# dependencies are read from the shared libraries the program links.
include(GNUInstallDirs)

set(QUAVEL_HOMEPAGE "https://example.org/quavel-logger")
set(QUAVEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quavel-logger)
set(QUAVEL_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package-files)

# Debian's copyright format: the licence text indented, blank lines as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" license "${license}")
string(REGEX REPLACE "\n+$" "" license "${license}")
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " QUAVEL_LICENSE_TEXT " ${license}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${QUAVEL_PACKAGE_DIR}/copyright @ONLY)

# The package's own change log (a native package: changelog.gz) and the manual page, compressed as Debian
# keeps them (no name or time stamp in the gzip header, so builds repeat).
# The change log's date must not be the time of the build: the same sources
# must give the same package. It is SOURCE_DATE_EPOCH when that is set (as
# reproducible-build tools set it); else the time of the last git commit;
# else, outside a git checkout (a source archive), the time stamp of
# CMakeLists.txt as the archive gives it. string(TIMESTAMP) reads
# SOURCE_DATE_EPOCH itself, so it is set for that one call.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(quavel_source_date "")
    find_package(Git QUIET)
    if(Git_FOUND)
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE quavel_source_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    if(NOT quavel_source_date MATCHES "^[0-9]+$")
        file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt quavel_source_date "%s" UTC)
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${quavel_source_date})
    set(quavel_epoch_set_here ON)
endif()
string(TIMESTAMP QUAVEL_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(quavel_epoch_set_here)
    unset(ENV{SOURCE_DATE_EPOCH})
endif()
file(WRITE ${QUAVEL_PACKAGE_DIR}/changelog
    "quavel-logger (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
    "  * Packaged with CPack from the project's own build.\n\n"
    " -- Quavel Logger authors <maintainers@example.org>  ${QUAVEL_PACKAGE_DATE}\n")
# The manual page names the version the project gives, as --version does.
configure_file(${PROJECT_SOURCE_DIR}/packaging/quavel-logger.1 ${QUAVEL_PACKAGE_DIR}/quavel-logger.1
    @ONLY)
find_program(GZIP gzip REQUIRED)
foreach(file changelog:${QUAVEL_PACKAGE_DIR}/changelog
             quavel-logger.1:${QUAVEL_PACKAGE_DIR}/quavel-logger.1)
    string(REPLACE ":" ";" pair ${file})
    list(GET pair 0 name)
    list(GET pair 1 source)
    execute_process(COMMAND ${GZIP} -9nc ${source} OUTPUT_FILE ${QUAVEL_PACKAGE_DIR}/${name}.gz
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()
install(FILES ${QUAVEL_PACKAGE_DIR}/copyright ${QUAVEL_PACKAGE_DIR}/changelog.gz
    DESTINATION ${QUAVEL_DOC_DIR})
install(FILES ${QUAVEL_PACKAGE_DIR}/quavel-logger.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quavel-logger)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quavel Logger authors <maintainers@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUAVEL_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "time-stamped log of an instant-messaging client")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quavel Logger keeps an on-screen, time-stamped log of what happens in the
user's instant-messaging client: contacts changing name or status,
conversation windows opening and closing, the user's own name and status.
It also sets the user's own status from a menu.

On Linux it attaches to a libpurple client (Pidgin, Finch) over D-Bus; a
simulated client lets it be tried without one.")
include(CPack)
