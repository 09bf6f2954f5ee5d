# What `cmake --install` puts on a machine and how `cpack -G DEB` packs it: the window,
# the command-line tools, the desktop entry, the AppStream metainfo, the manual pages, the
# licence and the changelog, and the icon (installed where it is rendered, in ui/).
include(GNUInstallDirs)

set(palmota_packaging ${CMAKE_CURRENT_LIST_DIR}/../packaging)

# The package's maintainer, in the Maintainer field and the changelog's sign-off lines. The
# default is a placeholder kept until the owner supplies an address: the .invalid domain
# can never receive mail. To change it, configure with
#   -DPALMOTA_MAINTAINER="Name <address@example.org>"
# or edit this default.
set(PALMOTA_MAINTAINER "Palmota maintainers <maintainers@palmota.invalid>"
    CACHE STRING "Maintainer of the Debian package: \"Name <address>\"")

if(TARGET palmota)
  install(TARGETS palmota RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# A stripped install (cmake --install --strip, and CPack) also drops the compilers'
# identification notes (.comment), as Debian's own packages are stripped. The programs are
# installed by their folders' rules, which run before these.
if(CMAKE_OBJCOPY)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program palmota palmota-cli badge-reader-sim)
        set(path \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
        if(EXISTS \"\${path}\")
          execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment \"\${path}\"
                          COMMAND_ERROR_IS_FATAL ANY)
        endif()
      endforeach()
    endif()")
endif()
# The place of a desk's journal, as the README and the manual pages name it
# (--journal /var/lib/palmota/journal.db). The package holds the folder; its maintainer
# script gives it to the group dialout, set-group-ID (root:dialout 2775), after unpacking:
# a package's files belong to root alone.
install(DIRECTORY DESTINATION /var/lib/palmota)
install(FILES ${palmota_packaging}/palmota.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${palmota_packaging}/org.tarvinelo.palmota.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The changelog's newest entry names the version being built; a release that forgets one
# of the two is stopped here.
file(STRINGS ${palmota_packaging}/changelog.in palmota_changelog_head LIMIT_COUNT 1)
if(NOT palmota_changelog_head MATCHES "^palmota \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog.in must begin with the entry for ${PROJECT_VERSION}, "
                      "found: ${palmota_changelog_head}")
endif()
configure_file(${palmota_packaging}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog
               @ONLY)

# Manual pages and the changelog are installed compressed, as Debian keeps them: gzip at
# the strongest level, without the name and time stamp that would make builds differ.
find_program(PALMOTA_GZIP gzip REQUIRED)
set(palmota_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})
set(palmota_compressed)
function(palmota_gzip source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${PALMOTA_GZIP} -9nc ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${output}")
  set(palmota_compressed ${palmota_compressed} ${output} PARENT_SCOPE)
endfunction()

set(palmota_man_out ${CMAKE_CURRENT_BINARY_DIR}/packaging/man)
file(MAKE_DIRECTORY ${palmota_man_out})
foreach(page palmota palmota-cli badge-reader-sim)
  # Each page's title line names the version it describes.
  file(STRINGS ${palmota_packaging}/man/${page}.1 palmota_title REGEX "^\\.TH ")
  if(NOT palmota_title MATCHES "\"${PROJECT_NAME} ${PROJECT_VERSION}\"")
    message(FATAL_ERROR "packaging/man/${page}.1 must name ${PROJECT_NAME} ${PROJECT_VERSION} "
                        "in its title line, found: ${palmota_title}")
  endif()
  palmota_gzip(${palmota_packaging}/man/${page}.1 ${palmota_man_out}/${page}.1.gz)
  install(FILES ${palmota_man_out}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
palmota_gzip(${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog
             ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz)
add_custom_target(packaging-docs ALL DEPENDS ${palmota_compressed})

install(FILES ${palmota_packaging}/copyright ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${palmota_doc_dir})

set(CPACK_PACKAGE_NAME palmota)
set(CPACK_PACKAGE_VENDOR "Tarvinelo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Read and encode badge credit through a serial badge reader/encoder")
# One line per line of the package's long description; CPack indents each by one space and
# keeps lines that start with a space as they are. Lines stay under 80 columns. CPack strips
# the last line, so an empty one ends the list.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Tarvinelo PALMOTA reads a badge's serial number and stored credit through a"
  "badge reader/encoder on a serial port, writes a new credit onto the badge,"
  "reads continuously on a timer and reads the badge's first memory blocks."
  "."
  "The package also holds:"
  " * palmota-cli, the same operations from a shell, for scripts: several"
  "   commands in one run, JSON output, distinct exit statuses, port listing"
  "   and probing;"
  " * badge-reader-sim, an emulated reader on a pseudo-terminal, with faults"
  "   on demand, for work and tests without hardware."
  "")
set(CPACK_PACKAGE_CONTACT "${PALMOTA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PALMOTA_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_LIST_DIR}/../LICENSE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${palmota_packaging}/deb/postinst
                                       ${palmota_packaging}/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries are found by dpkg-shlibdeps from the binaries. The platform plugin that
# shows windows on X11 (xcb) is loaded at run time, so no binary names it: it is declared
# by hand. Without dpkg-shlibdeps the libraries are named by hand as well.
find_program(PALMOTA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(PALMOTA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6, libqt6gui6, libqt6widgets6, libqt6serialport6, qt6-qpa-plugins")
endif()

# The journal's database drivers are plugins as well: the SQLite one for a station's own
# file, the PostgreSQL one for a journal shared between stations.
if(TARGET Qt6::Sql)
  if(NOT PALMOTA_DPKG_SHLIBDEPS)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6sql6")
  endif()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-sqlite")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
endif()
# Qt's own French texts for the window's widgets (the amount box's context menu); without
# them those widgets speak English and nothing else changes.
if(CPACK_DEBIAN_PACKAGE_RECOMMENDS)
  string(APPEND CPACK_DEBIAN_PACKAGE_RECOMMENDS ", qt6-translations-l10n")
else()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
endif()

# Reproducible packages: two builds of one commit give the same bytes. CPack stamps every
# file and member of the .deb with SOURCE_DATE_EPOCH when it is set, in place of the times
# the files were built; gzip -n above leaves the name and time out of the compressed pages.
# When the environment sets no time, the package takes that of the last commit, found here
# and set again in cpack's own environment, where a plain `cpack -G DEB` looks for it.
set(palmota_source_date "$ENV{SOURCE_DATE_EPOCH}")
if(palmota_source_date STREQUAL "")
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE palmota_source_date OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
    # Configured again after each commit or checkout, which moves HEAD's log.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE palmota_git_dir OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
    if(EXISTS "${palmota_git_dir}/logs/HEAD")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                                             "${palmota_git_dir}/logs/HEAD")
    endif()
  endif()
endif()
set(palmota_cpack_config ${CMAKE_CURRENT_BINARY_DIR}/packaging/cpack-project-config.cmake)
if(palmota_source_date MATCHES "^[0-9]+$")
  file(CONFIGURE OUTPUT ${palmota_cpack_config} CONTENT [[
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} "@palmota_source_date@")
endif()
]] @ONLY)
else()
  file(WRITE ${palmota_cpack_config} "# No commit time known: file times are the build's.\n")
endif()
set(CPACK_PROJECT_CONFIG_FILE ${palmota_cpack_config})

include(CPack)
