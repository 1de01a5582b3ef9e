# What `cmake --install` puts in place, in components that are the Debian
# packages' contents (debian/rules installs each component into its package):
#   runtime      lib/libVarlo.so.1*, libexec/varlo (the debugger's Lua launcher)
#   development  include/Varlo.h, include/Varlo/*.h, lib/libVarlo.so,
#                lib/cmake/Varlo (find_package(Varlo) -> Varlo::Varlo),
#                lib/pkgconfig/varlo.pc
#   tools        bin/varlo, bin/varlo-bridge (where libmosquitto is), their
#                man pages
#   simulator    bin/VarloSim, its panel page (share/varlo/panel), its man page
#   python       the Python package varlo
# A plain `cmake --install` installs them all, the binaries stripped.
include(CMakePackageConfigHelpers)

set(VARLO_QT_MINIMUM 5.12)
set(VARLO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Varlo)

install(TARGETS Varlo EXPORT VarloTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/Varlo.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(DIRECTORY include/Varlo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development
        FILES_MATCHING PATTERN "*.h")

install(EXPORT VarloTargets NAMESPACE Varlo:: DESTINATION ${VARLO_CMAKE_DIR} COMPONENT development)
configure_package_config_file(cmake/VarloConfig.cmake.in ${PROJECT_BINARY_DIR}/VarloConfig.cmake
                              INSTALL_DESTINATION ${VARLO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VarloConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VarloConfig.cmake ${PROJECT_BINARY_DIR}/VarloConfigVersion.cmake
        DESTINATION ${VARLO_CMAKE_DIR} COMPONENT development)

# The pkg-config file finds the prefix from its own folder, so a staged or
# moved installation still works. A library folder the dynamic loader does not
# search by itself (a prefix of the user's own, /usr/local before ldconfig ran)
# goes into the host's run path too, so that a host built with it starts.
file(RELATIVE_PATH VARLO_PC_PREFIX_FROM_PCDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
set(VARLO_LIBDIR_IS_SYSTEM OFF)
if(CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_C_IMPLICIT_LINK_DIRECTORIES
   OR CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES)
  set(VARLO_LIBDIR_IS_SYSTEM ON)
endif()
set(VARLO_PC_RPATH "-Wl,-rpath,\${libdir}")
if(VARLO_LIBDIR_IS_SYSTEM)
  set(VARLO_PC_RPATH "")
endif()
# Installed programs find the library in the installed library folder; one
# that the dynamic loader searches anyway needs no run path (and Debian's
# packages must carry none).
function(varlo_program_rpath target)
  if(NOT VARLO_LIBDIR_IS_SYSTEM)
    file(RELATIVE_PATH rpath ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${rpath}")
  endif()
endfunction()
configure_file(cmake/varlo.pc.in ${PROJECT_BINARY_DIR}/varlo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/varlo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
