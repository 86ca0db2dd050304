# The installed package. find_package(OrvoAES) gives OrvoAES::crypto (and OrvoAES::platform) and
# OrvoAES::capi, the C interface (a C project enables CXX too, so CMake links with the C++
# linker); pkg-config's orvoaes gives all three archives, the C++ runtime and the include
# directory. Headers are included as "crypto/engine/AESModes.h", "orvoaes/Version.h" and
# "orvoaes/orvoaes.h" below <includedir>/orvoaes.
include(CMakePackageConfigHelpers)

# The headers a user includes. The installed tree holds these and every project header they
# include, directly or through another, and no other: the engine's internal units, the platform
# pieces only the library's sources use and the tests' hooks stay out.
set(AES_PUBLIC_HEADERS
  crypto/engine/AESCore.h
  crypto/engine/AESKeyed.h
  crypto/engine/AESChunked.h
  crypto/engine/AESModes.h
  crypto/component/AESObj.h
  crypto/support/CryptBase.h
  crypto/support/MiscObj.h
  crypto/support/RandomCoreW.h
  crypto/support/error.h
  crypto/support/errorlist.h
  crypto/hash/Hash.h
  crypto/hash/HMAC.h
  crypto/hash/KDF.h)

# out = headers with every project header they include ("dir/name.h", from the source root),
# following includes transitively. The generated version header is installed on its own.
function(aes_header_closure out)
  set(pending ${ARGN})
  set(found)
  while(pending)
    list(POP_FRONT pending header)
    if(header IN_LIST found)
      continue()
    endif()
    set(path ${PROJECT_SOURCE_DIR}/${header})
    if(NOT EXISTS ${path})
      message(FATAL_ERROR "An installed header includes \"${header}\", which is not in the source tree")
    endif()
    list(APPEND found ${header})
    # Editing a header may change what it includes: configure again.
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
    file(STRINGS ${path} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" included "${line}")
      if(NOT included STREQUAL "orvoaes/Version.h")
        list(APPEND pending ${included})
      endif()
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

aes_header_closure(aes_installed_headers ${AES_PUBLIC_HEADERS})
foreach(header IN LISTS aes_installed_headers)
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orvoaes/${dir})
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/include/orvoaes/Version.h ${PROJECT_SOURCE_DIR}/capi/orvoaes/orvoaes.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orvoaes/orvoaes)

install(TARGETS aes_platform aes_crypto aes_capi EXPORT OrvoAESTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The CMake package.
set(aes_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/OrvoAES)
install(EXPORT OrvoAESTargets NAMESPACE OrvoAES:: DESTINATION ${aes_cmake_dir})
file(WRITE ${PROJECT_BINARY_DIR}/OrvoAESConfig.cmake "include(\${CMAKE_CURRENT_LIST_DIR}/OrvoAESTargets.cmake)\n")
write_basic_package_version_file(${PROJECT_BINARY_DIR}/OrvoAESConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/OrvoAESConfig.cmake ${PROJECT_BINARY_DIR}/OrvoAESConfigVersion.cmake
        DESTINATION ${aes_cmake_dir})

# The pkg-config file, beside the CMake package; its prefix is found from its own place, so an
# installed tree may be moved. Library or header folders given as absolute paths tie the tree to
# its place: the file then names them as they are.
set(aes_pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(AES_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(AES_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(AES_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH aes_pc_up ${CMAKE_INSTALL_PREFIX}/${aes_pkgconfig_dir} ${CMAKE_INSTALL_PREFIX})
  string(REGEX REPLACE "/$" "" aes_pc_up "${aes_pc_up}")
  set(AES_PC_PREFIX "\${pcfiledir}/${aes_pc_up}")
  set(AES_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(AES_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
# A C program linked by the C compiler needs the C++ runtime the archives were built against.
set(AES_PC_CXX_RUNTIME)
foreach(lib IN LISTS CMAKE_CXX_IMPLICIT_LINK_LIBRARIES)
  if(lib MATCHES "^(stdc\\+\\+|c\\+\\+|c\\+\\+abi|m)$" AND NOT "-l${lib}" IN_LIST AES_PC_CXX_RUNTIME)
    list(APPEND AES_PC_CXX_RUNTIME "-l${lib}")
  endif()
endforeach()
list(JOIN AES_PC_CXX_RUNTIME " " AES_PC_CXX_RUNTIME)
configure_file(${PROJECT_SOURCE_DIR}/cmake/orvoaes.pc.in ${PROJECT_BINARY_DIR}/orvoaes.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/orvoaes.pc DESTINATION ${aes_pkgconfig_dir})
