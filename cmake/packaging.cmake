# SPDX-License-Identifier: MIT
# Debian packages of the installed files, one per install component, made by
# `cpack -G DEB` in a build tree configured for the prefix /usr (the release
# preset), so that the library lands in the multiarch folder:
#   libkeloutil5     component library      the shared library
#   libkeloutil-dev  component development  headers, the .so link, the CMake package, keloutil.pc
#   kelo             component tool         the tool, its manual page and bash completion
# Their dependencies on other packages come from dpkg-shlibdeps, which reads
# the ELF files, and among themselves from the components' dependencies, at
# the same version; libkeloutil5 declares its shared library (shlibs) and
# activates the ldconfig trigger.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The keloutil authors")
set(CPACK_PACKAGE_CONTACT "The keloutil authors <keloutil@example.org>")
# Each package's description starts with its own synopsis line
# (CPACK_DEBIAN_<COMPONENT>_DESCRIPTION); an empty summary keeps CPack from
# putting one line for all of them before it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL library development tool)
# Versions are the project's with a Debian revision: 5.0.31.0-1.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE ${PROJECT_NAME})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# A component's dependencies on other components become "(= version)".
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(keloutil_deb_about
    "keloutil gives the modules of the Kelo framework UTF-8 strings with conversions
to and from UTF-16, UTF-32 and ASCII, a counted allocator, lists and hash maps,
paths, child processes, named locks, timers and XML settings files shared by
several processes, through a flat C interface and C++ classes.")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libkeloutil${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "utility library of the Kelo framework\n${keloutil_deb_about}\n\nThis package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkeloutil-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "utility library of the Kelo framework (development files)\n${keloutil_deb_about}\n\nThis package holds the headers, the CMake package (find_package(keloutil))\nand the pkg-config file.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME kelo)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
# dpkg-shlibdeps finds kelo's libkeloutil.so.5 in the build tree, as a library
# of no package; the dependency on its package is the component's, exact.
set(CPACK_COMPONENT_TOOL_DEPENDS library)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_TOOL_DESCRIPTION "command-line tool of the Kelo framework's utility library\nkelo converts text between UTF-8, UTF-16, UTF-32 and ASCII, reads and changes\nthe framework's XML settings files, shows its folders and locales, and runs\nthe library's string and path functions from the shell.")

# The library's package activates the trigger that runs ldconfig.
set(keloutil_deb_dir ${PROJECT_BINARY_DIR}/debian)
file(WRITE ${keloutil_deb_dir}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${keloutil_deb_dir}/triggers)

# Every package has /usr/share/doc/<package>/copyright, the licence in
# Debian's machine-readable form, and changelog.Debian.gz. They are
# installed for the components alone (EXCLUDE_FROM_ALL), so a plain
# cmake --install leaves them out.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${licence}")
set(copyright_holders ${CMAKE_MATCH_1})
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]+\n+" "" licence "${licence}")
string(STRIP "${licence}" licence)
string(REGEX REPLACE "\n\n+" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence " ${licence}")
file(WRITE ${keloutil_deb_dir}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}
Source: ${PROJECT_HOMEPAGE_URL}

Files: *
Copyright: ${copyright_holders}
License: Expat
${licence}
")

string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${keloutil_deb_dir}/changelog.Debian
"${PROJECT_NAME} (${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) unstable; urgency=medium

  * Packages of keloutil ${PROJECT_VERSION}, built with CPack.

 -- ${CPACK_PACKAGE_CONTACT}  ${changelog_date}
")
find_program(GZIP_EXECUTABLE gzip REQUIRED)
execute_process(COMMAND ${GZIP_EXECUTABLE} -9nf ${keloutil_deb_dir}/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)

foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER ${component} component_upper)
    install(FILES ${keloutil_deb_dir}/copyright ${keloutil_deb_dir}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${component_upper}_PACKAGE_NAME}
        COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
