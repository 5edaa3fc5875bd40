# Installation and packaging.
#
# Layout under the prefix (GNU directories; lib/ may be lib/<multiarch>):
#   bin/marl-checkout                        the operator's tool
#   lib/libmarlcheckout.so.<version>         the component server (SONAME
#                                            libmarlcheckout.so.<major>)
#   lib/cmake/MarlCheckOut/                  find_package(MarlCheckOut CONFIG)
#   lib/pkgconfig/marlcheckout.pc            pkg-config
#   include/marlcheckout/                    the public headers
#   share/marlcheckout/schema/<product>/     the schema scripts
#   share/marlcheckout/resources/            the resource texts
#   share/man/man1/marl-checkout.1           the manual page, when written
# Nothing in the installed files names the prefix: the tool and the
# library find share/marlcheckout relative to themselves
# (src/platform/install_paths.h), the CMake and pkg-config files relative
# to their own folder, so an installation may be moved or unpacked anywhere.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MARL_DATA_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/marlcheckout)
set(MARL_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MarlCheckOut)
set(MARL_PC_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Relative paths between the installed folders (computed under a stand-in
# prefix: only the folders' relative positions matter).
function(marl_relative var from to)
  file(RELATIVE_PATH rel /marl-prefix/${from} /marl-prefix/${to})
  string(REGEX REPLACE "/+$" "" rel "${rel}")
  if(rel STREQUAL "")
    set(rel .)
  endif()
  set(${var} ${rel} PARENT_SCOPE)
endfunction()
marl_relative(MARL_BIN_TO_LIB ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_LIBDIR})
marl_relative(MARL_BIN_TO_DATA ${CMAKE_INSTALL_BINDIR} ${MARL_DATA_INSTALL_DIR})
marl_relative(MARL_LIB_TO_DATA ${CMAKE_INSTALL_LIBDIR} ${MARL_DATA_INSTALL_DIR})
marl_relative(MARL_PC_TO_PREFIX ${MARL_PC_INSTALL_DIR} .)

set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/platform/install_paths.cpp
             APPEND PROPERTY COMPILE_DEFINITIONS
             MARL_DATA_FROM_BINDIR="${MARL_BIN_TO_DATA}"
             MARL_DATA_FROM_LIBDIR="${MARL_LIB_TO_DATA}")

# The installed tool finds libraries installed beside it from any directory.
# The tool in the build tree carries the same search path from the start:
# left to CMake, it would carry a padding of empty entries to be rewritten
# at install time, and an empty entry makes the loader look for every
# library in the current directory.
set_target_properties(marl-checkout PROPERTIES
  INSTALL_RPATH "$ORIGIN/${MARL_BIN_TO_LIB}"
  BUILD_WITH_INSTALL_RPATH ON)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/cli/main.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS MARL_VERSION="${PROJECT_VERSION}")

# The public headers need C++17 or later of whoever includes them (the
# public_header_* tests compile each alone at C++17).
target_compile_features(marlcheckout INTERFACE cxx_std_17)

install(TARGETS marlcheckout EXPORT MarlCheckOutTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS marl-checkout RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/marlcheckout
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY resources/ DESTINATION ${MARL_DATA_INSTALL_DIR}/resources
        FILES_MATCHING PATTERN "*.txt")
foreach(product sqlite postgresql sqlserver)
  install(FILES schema/${product}/erp.sql
          DESTINATION ${MARL_DATA_INSTALL_DIR}/schema/${product})
endforeach()
if(EXISTS ${CMAKE_SOURCE_DIR}/cli/marl-checkout.1)
  install(FILES cli/marl-checkout.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# find_package(MarlCheckOut CONFIG): the imported target
# MarlCheckOut::marlcheckout.
install(EXPORT MarlCheckOutTargets NAMESPACE MarlCheckOut::
        DESTINATION ${MARL_CMAKE_INSTALL_DIR})
configure_package_config_file(cmake/MarlCheckOutConfig.cmake.in
  ${CMAKE_BINARY_DIR}/MarlCheckOutConfig.cmake
  INSTALL_DESTINATION ${MARL_CMAKE_INSTALL_DIR})
write_basic_package_version_file(
  ${CMAKE_BINARY_DIR}/MarlCheckOutConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/MarlCheckOutConfig.cmake
              ${CMAKE_BINARY_DIR}/MarlCheckOutConfigVersion.cmake
        DESTINATION ${MARL_CMAKE_INSTALL_DIR})

# pkg-config.
configure_file(cmake/marlcheckout.pc.in ${CMAKE_BINARY_DIR}/marlcheckout.pc
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/marlcheckout.pc
        DESTINATION ${MARL_PC_INSTALL_DIR})

# The Debian package (cpack -G DEB in the build folder): everything above,
# installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marlcheckout)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "MarlCheckOut developers <marlcheckout@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "period-end closing component of an ERP's cost-accounting module")
set(CPACK_PACKAGE_DESCRIPTION
    "The component server library (C++ API, headers, CMake and pkg-config \
files), the marl-checkout tool, the schema scripts for SQLite, PostgreSQL \
and SQL Server, and the resource texts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The library and the tool load SQLite and the ODBC driver manager; the
# ODBC drivers themselves are needed only for a server database.
find_program(MARL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(MARL_DPKG_SHLIBDEPS)
  # Every library the binaries load, with the least version they need.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libgcc-s1, libsqlite3-0, libodbc2")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql, tdsodbc")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
include(CPack)

# Each public header compiles on its own, seeing nothing but the public
# include folder (so it includes everything it uses and no private
# header), at the least language level the package declares.
if(MARL_BUILD_TESTS)
  file(GLOB MARL_PUBLIC_HEADERS CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/include/marlcheckout/*.h)
  foreach(header IN LISTS MARL_PUBLIC_HEADERS)
    get_filename_component(name ${header} NAME)
    get_filename_component(stem ${header} NAME_WE)
    add_test(NAME public_header_${stem}
             COMMAND ${CMAKE_CXX_COMPILER} -std=c++17 -fsyntax-only -Wall
                     -Wextra -Wpedantic -Werror -I${CMAKE_SOURCE_DIR}/include
                     -include marlcheckout/${name} -x c++ /dev/null)
  endforeach()
endif()
