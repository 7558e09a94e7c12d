# Desktop integration of the installed programs: desktop entries, icons in the hicolor theme,
# software-centre descriptions (AppStream) and a manual page per command. Everything here is
# made from a single source each: the entries and descriptions from data/desktop/, the icons
# from the programs' window icons, the manual pages from each command's --help.

set(SUITE_DESKTOP_SOURCE ${CMAKE_SOURCE_DIR}/data/desktop)
set(SUITE_DESKTOP_BUILD ${CMAKE_BINARY_DIR}/desktop)
# The date of the release named in the descriptions (SOURCE_DATE_EPOCH when set).
string(TIMESTAMP SUITE_RELEASE_DATE "%Y-%m-%d" UTC)

# --- Desktop entries, window icons, descriptions ---------------------------------------------
# command|program|window icon|AppStream component id
set(suite_desktop_programs
    "korvel|Korvel|live_client/resources/korvel.xpm|org.korvelsuite.korvel"
    "lumaro|Lumaro|playback_app/resources/lumaro.xpm|org.korvelsuite.lumaro")
set(suite_icon_commands)
foreach(entry ${suite_desktop_programs})
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 command)
  list(GET entry 1 program)
  list(GET entry 2 icon)
  list(GET entry 3 component_id)
  if(NOT TARGET ${program})
    continue()
  endif()
  install(FILES ${SUITE_DESKTOP_SOURCE}/${command}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT programs)
  install(FILES ${CMAKE_SOURCE_DIR}/${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps
          RENAME ${command}.xpm COMPONENT programs)
  configure_file(${SUITE_DESKTOP_SOURCE}/${component_id}.metainfo.xml.in
                 ${SUITE_DESKTOP_BUILD}/${component_id}.metainfo.xml @ONLY)
  install(FILES ${SUITE_DESKTOP_BUILD}/${component_id}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT programs)
  list(APPEND suite_icon_commands "${command}|${icon}")
endforeach()

# Tools run at build time start with the sanitizer's leak check off: the toolkit keeps caches
# to the end of the process, and the build must not fail on them.
set(suite_build_tool_environment ASAN_OPTIONS=detect_leaks=0
    TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/scripts/tsan.supp:exitcode=0)

# --- Icons in the hicolor theme, drawn from the window icons ----------------------------------
if(TARGET skin_gen AND suite_icon_commands)
  set(icon_theme ${SUITE_DESKTOP_BUILD}/icons/hicolor)
  set(icon_outputs)
  foreach(entry ${suite_icon_commands})
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 command)
    list(GET entry 1 icon)
    set(outputs)
    foreach(size 48 64 128 256)
      list(APPEND outputs ${icon_theme}/${size}x${size}/apps/${command}.png)
    endforeach()
    add_custom_command(OUTPUT ${outputs}
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${suite_build_tool_environment}
              $<TARGET_FILE:skin_gen> --icons ${CMAKE_SOURCE_DIR}/${icon} ${command} ${icon_theme}
      DEPENDS skin_gen ${CMAKE_SOURCE_DIR}/${icon}
      COMMENT "Drawing the desktop icons of ${command}"
      VERBATIM)
    list(APPEND icon_outputs ${outputs})
  endforeach()
  add_custom_target(suite_icons ALL DEPENDS ${icon_outputs})
  install(DIRECTORY ${icon_theme} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons COMPONENT programs)
endif()

# --- Manual pages from --help -----------------------------------------------------------------
# command|program|component|one-line description
set(suite_manual_commands
    "korvel|Korvel|programs|live client for network video recorders and capture-card recorders"
    "lumaro|Lumaro|programs|search and play back the recordings of the CCTV suite"
    "korvel-trace-viewer|trace_viewer|programs|print the trace lines of the CCTV suite's programs"
    "korvel-dvr-sim|dvr_sim|simulators|simulated network video recorder for the CCTV suite"
    "korvel-alder-sim|alder_sim|simulators|simulated capture-card recorder for the CCTV suite"
    "korvel-camera-sim|camera_sim|simulators|simulated RTSP network camera for the CCTV suite"
    "korvel-onvif-sim|onvif_sim|simulators|simulated network camera services for the CCTV suite")
find_program(SUITE_HELP2MAN help2man)
find_program(SUITE_GZIP gzip)
if(NOT SUITE_HELP2MAN OR NOT SUITE_GZIP)
  message(STATUS "help2man or gzip not found: no manual pages (scripts/install-deps installs them)")
  return()
endif()
set(manual_folder ${SUITE_DESKTOP_BUILD}/man)
set(manual_commands)
foreach(entry ${suite_manual_commands})
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 command)
  list(GET entry 1 program)
  if(TARGET ${program})
    list(APPEND manual_commands ${command})
  endif()
endforeach()
set(manual_outputs)
foreach(entry ${suite_manual_commands})
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 command)
  list(GET entry 1 program)
  list(GET entry 2 component)
  list(GET entry 3 description)
  if(NOT TARGET ${program})
    continue()
  endif()
  # Every other command of the suite, in the page's SEE ALSO section.
  set(others ${manual_commands})
  list(REMOVE_ITEM others ${command})
  list(TRANSFORM others APPEND "(1)")
  list(JOIN others ", " see_also)
  file(CONFIGURE OUTPUT ${manual_folder}/${command}.h2m CONTENT "[SEE ALSO]\n${see_also}\n")
  # help2man runs the program under the command's own name, so the page names the command a
  # user types; the program answers --help and --version without a screen.
  set(page ${manual_folder}/${command}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${manual_folder}/bin
    COMMAND ${CMAKE_COMMAND} -E create_symlink $<TARGET_FILE:${program}> ${manual_folder}/bin/${command}
    COMMAND ${CMAKE_COMMAND} -E env ${suite_build_tool_environment}
            ${SUITE_HELP2MAN} --no-info --name=${description}
            --include=${manual_folder}/${command}.h2m --output=${page} ${manual_folder}/bin/${command}
    COMMAND ${SUITE_GZIP} -9n -f ${page}
    DEPENDS ${program} ${manual_folder}/${command}.h2m
    COMMENT "Writing the manual page of ${command}"
    VERBATIM)
  list(APPEND manual_outputs ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endforeach()
add_custom_target(suite_manuals ALL DEPENDS ${manual_outputs})
