# What `cmake --install` puts in place besides the programs, and the Debian
# package that `cpack` makes of it all:
#   lib/libVarlo.so*, include/Varlo.h, include/Varlo/*.h,
#   lib/cmake/Varlo (find_package(Varlo) -> Varlo::Varlo), lib/pkgconfig/varlo.pc,
#   bin/varlo, libexec/varlo (the debugger's Lua launcher), the Python package.
include(CMakePackageConfigHelpers)

set(VARLO_QT_MINIMUM 5.12)
set(VARLO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Varlo)

install(TARGETS Varlo EXPORT VarloTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/Varlo.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/Varlo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")

install(EXPORT VarloTargets NAMESPACE Varlo:: DESTINATION ${VARLO_CMAKE_DIR})
configure_package_config_file(cmake/VarloConfig.cmake.in ${PROJECT_BINARY_DIR}/VarloConfig.cmake
                              INSTALL_DESTINATION ${VARLO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VarloConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VarloConfig.cmake ${PROJECT_BINARY_DIR}/VarloConfigVersion.cmake
        DESTINATION ${VARLO_CMAKE_DIR})

# The pkg-config file finds the prefix from its own folder, so a staged or
# moved installation still works.
file(RELATIVE_PATH VARLO_PC_PREFIX_FROM_PCDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/varlo.pc.in ${PROJECT_BINARY_DIR}/varlo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/varlo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# cpack: a Debian package of the installation, laid out for the prefix the
# build was configured with (configure with -DCMAKE_INSTALL_PREFIX=/usr for a
# system package; the Python package then goes to /usr/lib/python3/dist-packages).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varlo)
set(CPACK_PACKAGE_VENDOR "Varlo")
set(CPACK_PACKAGE_CONTACT "Varlo developers <varlo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Client library for the controller of a four- or six-axis robot arm")
set(CPACK_PACKAGE_DESCRIPTION
    "libVarlo with its C and C++/Qt headers, CMake and pkg-config files, the\n command-line host varlo, the Python package varlo and the script debugger's\n Lua launcher.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libqt5core5a (>= ${VARLO_QT_MINIMUM}), libqt5network5 (>= ${VARLO_QT_MINIMUM}), libqt5serialport5 (>= ${VARLO_QT_MINIMUM}), lua5.4, lua-socket")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3, qtbase5-dev, libqt5serialport5-dev")
# The shlibs file and the ldconfig trigger for libVarlo.so.1.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
