# What `cmake --install` puts in place and what the release packages hold
# (scripts/release.sh). Only the two programs and their documents: tests,
# test drivers and benchmarks have no install rules.
#   programs, docs: the install layout (bin/, share/doc/mesupdate/), also the
#                   Linux tarball
#   player:         the Windows zip, flat, for double-clicking; never installed
#                   unless asked for by name

# The product tree's programs where there is one (win32 preset), else this tree's.
if(MES_PRODUCT_PROGRAMS)
  install(PROGRAMS ${MES_PRODUCT_PROGRAMS} DESTINATION bin COMPONENT programs)
  install(PROGRAMS ${MES_PRODUCT_PROGRAMS} DESTINATION . COMPONENT player EXCLUDE_FROM_ALL)
else()
  install(TARGETS mesupdate mesarc RUNTIME DESTINATION bin COMPONENT programs)
  install(TARGETS mesupdate mesarc RUNTIME DESTINATION . COMPONENT player EXCLUDE_FROM_ALL)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
  ${CMAKE_SOURCE_DIR}/docs/players-guide.txt
  DESTINATION share/doc/mesupdate COMPONENT docs)
install(FILES ${CMAKE_SOURCE_DIR}/docs/third-party-notices.txt
  DESTINATION share/doc/mesupdate RENAME THIRD-PARTY-NOTICES COMPONENT docs)

# The zip's texts open in Notepad: Windows line ends (the players' guide has
# them already).
set(mes_player_texts ${CMAKE_BINARY_DIR}/player-texts)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${mes_player_texts}/LICENSE.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/docs/third-party-notices.txt
  ${mes_player_texts}/THIRD-PARTY-NOTICES.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_SOURCE_DIR}/docs/players-guide.txt
  DESTINATION . RENAME README.txt COMPONENT player EXCLUDE_FROM_ALL)
install(FILES ${mes_player_texts}/LICENSE.txt ${mes_player_texts}/THIRD-PARTY-NOTICES.txt
  DESTINATION . COMPONENT player EXCLUDE_FROM_ALL)

# Packaging takes what scripts/release.sh built: the shipped programs, not
# every test (CPack would otherwise build "all" first).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME mesupdate)
set(CPACK_PACKAGE_VENDOR mesupdate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# Unpacking makes one folder named after the package.
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_COMPONENTS_ALL player)
else()
  set(CPACK_GENERATOR TGZ)
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
  set(CPACK_COMPONENTS_ALL programs docs)
  # The Windows product is linked stripped; the Linux programs are stripped here.
  set(CPACK_STRIP_FILES ON)
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_ARCHIVE_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
include(CPack)
