# Installed layout (cmake --install <build> --prefix <prefix>; the Debian packages made by
# scripts/package hold the same tree under /usr):
#
#   <prefix>/lib/cctv-suite/          the program folder: Korvel, Lumaro, trace_viewer, the
#                                     recorder simulators, the suite's shared libraries and the
#                                     data the programs read beside themselves (Setting.ini,
#                                     Teskline.tab, Language/, UI_Skin/)
#   <prefix>/bin/korvel, lumaro, korvel-trace-viewer, korvel-dvr-sim, korvel-alder-sim,
#                 korvel-camera-sim, korvel-onvif-sim
#                                     links into the program folder; a program resolves its
#                                     own executable through the link, so it still finds its
#                                     data in the program folder
#   <prefix>/share/applications/      one .desktop file per program
#   <prefix>/share/icons/hicolor/     their icons at 48, 64, 128 and 256 pixels, drawn at
#                                     build time from the programs' window icons
#   <prefix>/share/pixmaps/           the window icons themselves
#   <prefix>/share/metainfo/          a software-centre description of each program
#   <prefix>/share/man/man1/          a manual page for each command, made from its --help
#   <prefix>/share/doc/korvel-suite/  the user guide and its screenshots, copyright, changelog
#
# Two install components: "programs" (everything a site needs) and "simulators" (the recorder
# simulators with their commands and manual pages), packaged separately.
#
# No Drives.ini is installed: without one the programs map drives C and D to folders below
# $XDG_DATA_HOME/korvel/, so recordings and snapshots land in the user's own folders.
# Libraries find each other and the programs find them through $ORIGIN, so the tree can be
# moved as a whole.
include(GNUInstallDirs)

set(SUITE_INSTALL_PROGRAM_FOLDER ${CMAKE_INSTALL_LIBDIR}/cctv-suite)

set(suite_installed_programs)
foreach(program Korvel Lumaro trace_viewer)
  if(TARGET ${program})
    list(APPEND suite_installed_programs ${program})
  endif()
endforeach()
set(suite_installed_simulators)
foreach(program dvr_sim alder_sim camera_sim onvif_sim)
  if(TARGET ${program})
    list(APPEND suite_installed_simulators ${program})
  endif()
endforeach()
set(suite_installed_libraries)
foreach(library platform Halvane Stordane Pellix Orvane Ferrow Glimmet Teskline Camlink)
  if(TARGET ${library})
    list(APPEND suite_installed_libraries ${library})
  endif()
endforeach()

# The same run path serves the build and the installed tree ($ORIGIN/../lib finds build/lib
# from build/bin), so installing never edits a binary in place: in-place editing pads the
# build run path with empty entries, and an empty entry makes the loader search the current
# folder, so a library loaded by name could come from wherever a program was started.
# Every symbol is bound at load time and the relocations are then made read-only, as for the
# system's own packaged programs: a missing symbol stops a program at its start, not midway.
foreach(target ${suite_installed_programs} ${suite_installed_simulators} ${suite_installed_libraries})
  set_target_properties(${target} PROPERTIES
    INSTALL_RPATH "$ORIGIN;$ORIGIN/../lib"
    BUILD_WITH_INSTALL_RPATH ON)
  target_link_options(${target} PRIVATE LINKER:-z,relro,-z,now)
endforeach()

if(suite_installed_programs)
  install(TARGETS ${suite_installed_programs}
          RUNTIME DESTINATION ${SUITE_INSTALL_PROGRAM_FOLDER} COMPONENT programs)
endif()
if(suite_installed_simulators)
  install(TARGETS ${suite_installed_simulators}
          RUNTIME DESTINATION ${SUITE_INSTALL_PROGRAM_FOLDER} COMPONENT simulators)
endif()
if(suite_installed_libraries)
  install(TARGETS ${suite_installed_libraries}
          LIBRARY DESTINATION ${SUITE_INSTALL_PROGRAM_FOLDER} COMPONENT programs)
endif()

# Data generated or copied into the build's program folder (themes with the pictures drawn
# at build time, language files in their code page, the device table).
foreach(file Setting.ini Teskline.tab)
  install(FILES ${SUITE_PROGRAM_FOLDER}/${file}
          DESTINATION ${SUITE_INSTALL_PROGRAM_FOLDER} COMPONENT programs OPTIONAL)
endforeach()
foreach(folder Language UI_Skin)
  install(DIRECTORY ${SUITE_PROGRAM_FOLDER}/${folder}
          DESTINATION ${SUITE_INSTALL_PROGRAM_FOLDER} COMPONENT programs OPTIONAL)
endforeach()

# Command names in bin/: relative links, so a staged install (DESTDIR) stays correct.
# program=command=component
set(suite_commands "Korvel=korvel=programs" "Lumaro=lumaro=programs"
    "trace_viewer=korvel-trace-viewer=programs" "dvr_sim=korvel-dvr-sim=simulators"
    "alder_sim=korvel-alder-sim=simulators" "camera_sim=korvel-camera-sim=simulators"
    "onvif_sim=korvel-onvif-sim=simulators")
foreach(entry ${suite_commands})
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 program)
  list(GET entry 1 command)
  list(GET entry 2 component)
  if(TARGET ${program})
    install(CODE "
      set(bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(MAKE_DIRECTORY \"\${bindir}\")
      file(RELATIVE_PATH target \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\"
           \"\${CMAKE_INSTALL_PREFIX}/${SUITE_INSTALL_PROGRAM_FOLDER}/${program}\")
      message(STATUS \"Installing: \${bindir}/${command} -> \${target}\")
      file(CREATE_LINK \"\${target}\" \"\${bindir}/${command}\" SYMBOLIC)
    " COMPONENT ${component})
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/Desktop.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
