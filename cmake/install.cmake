# What `cmake --install` puts where, and the Debian package made from it
# (scripts/package.sh).
include(GNUInstallDirs)

set(plumfold_programs plumfold-sim plumfold-mesh)
if(TARGET plumfold)
  list(PREPEND plumfold_programs plumfold)
endif()
install(TARGETS ${plumfold_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# app/shipped_mesh.cpp finds the body here, relative to bin/.
install(FILES Objects/Objekt3.asc DESTINATION ${CMAKE_INSTALL_DATADIR}/plumfold/Objects)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png" PATTERN "man" EXCLUDE)

# Man pages from the programs' --help (help2man). A cross build cannot run its
# programs, so it has none.
find_program(PLUMFOLD_HELP2MAN help2man)
if(CMAKE_CROSSCOMPILING)
  message(STATUS "Cross build: no man pages")
elseif(NOT PLUMFOLD_HELP2MAN)
  message(STATUS "help2man not found (apt-get install help2man): no man pages")
endif()
set(man_summary_plumfold "a pressurised soft body falling into an open box")
set(man_summary_plumfold-sim "run the Plumfold scene without a window and checksum its trajectory")
set(man_summary_plumfold-mesh "generate, convert and check meshes for Plumfold")
set(man_pages)
foreach(program ${plumfold_programs})
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
  if(CMAKE_CROSSCOMPILING OR NOT PLUMFOLD_HELP2MAN)
    continue()
  endif()
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DPAGE=${page}
            -DHELP2MAN=${PLUMFOLD_HELP2MAN} -DSUMMARY=${man_summary_${program}} -DVERSION=${PROJECT_VERSION}
            -P ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    VERBATIM)
  list(APPEND man_pages ${page})
endforeach()
if(man_pages)
  add_custom_target(man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME plumfold)
set(CPACK_PACKAGE_VENDOR "The Plumfold team")
set(CPACK_PACKAGE_CONTACT "The Plumfold team <team@plumfold.dev>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive pressurised soft-body demo")
set(CPACK_PACKAGE_DESCRIPTION "A closed triangle mesh becomes point masses, damped springs and pressure
faces, and falls into an open box; drag it with the mouse. plumfold-sim runs
the same scene without a window and prints a checksum of the trajectory;
plumfold-mesh generates, converts and checks meshes.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://plumfold.dev")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # run-time dependencies from the linked libraries
set(CPACK_STRIP_FILES ON)
include(CPack)
