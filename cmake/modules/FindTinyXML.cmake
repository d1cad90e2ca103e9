# SPDX-License-Identifier: MIT
# Finds TinyXML, the XML parser and printer behind the settings files.
#
# Defines TinyXML_FOUND, TinyXML_VERSION and the target TinyXML::TinyXML,
# whose users compile with TIXML_USE_STL (Debian's header defines it too), so
# every build sees the same class layout.
#
# Linux: Debian's libtinyxml-dev, through pkg-config, else by its header and
# library. Windows (mingw-w64): Debian's source package of TinyXML, with its
# patches applied, compiled here as a static library; its folder is
# KELOUTIL_TINYXML_SOURCE_DIR, by default the one that
# scripts/install-deps.sh windows unpacks under build/deps/tinyxml.

set(_tinyxml_reason "")
if(WIN32)
    set(KELOUTIL_TINYXML_SOURCE_DIR "" CACHE PATH
        "Unpacked Debian source package of TinyXML (empty: the one under build/deps/tinyxml)")
    set(TinyXML_SOURCE_DIR ${KELOUTIL_TINYXML_SOURCE_DIR})
    if(NOT TinyXML_SOURCE_DIR)
        # Looked up on every configure, so a fetch after the first one is seen.
        file(GLOB _tinyxml_dirs LIST_DIRECTORIES true ${PROJECT_SOURCE_DIR}/build/deps/tinyxml/tinyxml-*)
        foreach(_dir IN LISTS _tinyxml_dirs)
            if(EXISTS ${_dir}/tinyxml.cpp)
                set(TinyXML_SOURCE_DIR ${_dir})
            endif()
        endforeach()
    endif()
    # Only an unpacked Debian source package has Debian's patches applied.
    if(NOT EXISTS ${TinyXML_SOURCE_DIR}/tinyxml.cpp OR NOT EXISTS ${TinyXML_SOURCE_DIR}/debian/changelog)
        set(TinyXML_SOURCE_DIR TinyXML_SOURCE_DIR-NOTFOUND)
    endif()
    set(TinyXML_INCLUDE_DIR ${TinyXML_SOURCE_DIR})
    set(_tinyxml_required TinyXML_SOURCE_DIR)
    if(NOT TinyXML_SOURCE_DIR)
        set(_tinyxml_reason "no unpacked Debian source package of TinyXML (run scripts/install-deps.sh windows as root, or set KELOUTIL_TINYXML_SOURCE_DIR)")
    endif()
else()
    find_package(PkgConfig QUIET)
    if(PKG_CONFIG_FOUND)
        pkg_check_modules(PC_TinyXML QUIET tinyxml)
    endif()
    find_path(TinyXML_INCLUDE_DIR tinyxml.h HINTS ${PC_TinyXML_INCLUDE_DIRS})
    find_library(TinyXML_LIBRARY NAMES tinyxml HINTS ${PC_TinyXML_LIBRARY_DIRS})
    mark_as_advanced(TinyXML_INCLUDE_DIR TinyXML_LIBRARY)
    set(_tinyxml_required TinyXML_LIBRARY TinyXML_INCLUDE_DIR)
    if(NOT TinyXML_LIBRARY OR NOT TinyXML_INCLUDE_DIR)
        set(_tinyxml_reason "install Debian's libtinyxml-dev (scripts/install-deps.sh)")
    endif()
endif()

# The release, from the header: the same check for both builds.
unset(TinyXML_VERSION)
if(TinyXML_INCLUDE_DIR AND EXISTS ${TinyXML_INCLUDE_DIR}/tinyxml.h)
    file(STRINGS ${TinyXML_INCLUDE_DIR}/tinyxml.h _tinyxml_header REGEX "TIXML_(MAJOR|MINOR|PATCH)_VERSION")
    set(_tinyxml_version "")
    foreach(_part MAJOR MINOR PATCH)
        string(REGEX MATCH "TIXML_${_part}_VERSION = ([0-9]+)" _ "${_tinyxml_header}")
        list(APPEND _tinyxml_version "${CMAKE_MATCH_1}")
    endforeach()
    list(JOIN _tinyxml_version "." TinyXML_VERSION)
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(TinyXML
    REQUIRED_VARS ${_tinyxml_required}
    VERSION_VAR TinyXML_VERSION
    REASON_FAILURE_MESSAGE "${_tinyxml_reason}")

if(TinyXML_FOUND AND NOT TARGET TinyXML::TinyXML)
    if(WIN32)
        # tinystr.cpp is left out: with TIXML_USE_STL TinyXML uses std::string.
        add_library(keloutil_tinyxml STATIC
            ${TinyXML_SOURCE_DIR}/tinyxml.cpp
            ${TinyXML_SOURCE_DIR}/tinyxmlparser.cpp
            ${TinyXML_SOURCE_DIR}/tinyxmlerror.cpp)
        target_compile_definitions(keloutil_tinyxml PUBLIC TIXML_USE_STL)
        # Its header is included as a system one, and its sources are built
        # without warnings: they are not ours to fix, and must not fail -Werror.
        target_include_directories(keloutil_tinyxml SYSTEM PUBLIC ${TinyXML_SOURCE_DIR})
        target_compile_options(keloutil_tinyxml PRIVATE -w)
        add_library(TinyXML::TinyXML ALIAS keloutil_tinyxml)
    else()
        add_library(TinyXML::TinyXML UNKNOWN IMPORTED)
        set_target_properties(TinyXML::TinyXML PROPERTIES
            IMPORTED_LOCATION ${TinyXML_LIBRARY}
            INTERFACE_INCLUDE_DIRECTORIES ${TinyXML_INCLUDE_DIR}
            INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)
    endif()
endif()
