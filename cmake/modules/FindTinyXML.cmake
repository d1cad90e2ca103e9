# Finds TinyXML, the XML parser and printer behind the settings files.
#
# Defines TinyXML_FOUND, TinyXML_VERSION and the imported target
# TinyXML::TinyXML. Debian's libtinyxml-dev is found through pkg-config,
# else by its header and library. Its header defines TIXML_USE_STL itself,
# so every user of the target sees the same class layout.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
    pkg_check_modules(PC_TinyXML QUIET tinyxml)
endif()

find_path(TinyXML_INCLUDE_DIR tinyxml.h HINTS ${PC_TinyXML_INCLUDE_DIRS})
find_library(TinyXML_LIBRARY NAMES tinyxml HINTS ${PC_TinyXML_LIBRARY_DIRS})
set(TinyXML_VERSION ${PC_TinyXML_VERSION})

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(TinyXML
    REQUIRED_VARS TinyXML_LIBRARY TinyXML_INCLUDE_DIR
    VERSION_VAR TinyXML_VERSION)

if(TinyXML_FOUND AND NOT TARGET TinyXML::TinyXML)
    add_library(TinyXML::TinyXML UNKNOWN IMPORTED)
    set_target_properties(TinyXML::TinyXML PROPERTIES
        IMPORTED_LOCATION ${TinyXML_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${TinyXML_INCLUDE_DIR}
        INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)
endif()
mark_as_advanced(TinyXML_INCLUDE_DIR TinyXML_LIBRARY)
