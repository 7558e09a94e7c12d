# The Debian packages (scripts/package runs CPack on a finished build):
#
#   korvel-suite_<version>_amd64.deb             the programs, libraries, data, desktop
#                                                integration, manual pages and user guide
#   korvel-suite-simulators_<version>_amd64.deb  the recorder and camera simulators, for test
#                                                benches and demonstrations; a real site leaves
#                                                them out
#
# The version is the project version of the top-level CMakeLists.txt. Depends is computed from
# the binaries by dpkg-shlibdeps, plus what the binaries cannot show: the XviD library is
# opened by name at run time, and the Chinese language files need a CJK font.

set(SUITE_PACKAGE_MAINTAINER "The Korvel suite developers <developers@korvelsuite.org>"
    CACHE STRING "Maintainer named in the Debian packages and their changelog")

# --- Files every package carries: copyright and changelog -------------------------------------
string(TIMESTAMP SUITE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(package_doc_build ${CMAKE_BINARY_DIR}/package-doc)
configure_file(${CMAKE_SOURCE_DIR}/data/package/changelog.in ${package_doc_build}/changelog @ONLY)
find_program(SUITE_GZIP gzip)
if(SUITE_GZIP)
  add_custom_command(OUTPUT ${package_doc_build}/changelog.gz
    COMMAND ${SUITE_GZIP} -9n -c ${package_doc_build}/changelog > ${package_doc_build}/changelog.gz
    DEPENDS ${package_doc_build}/changelog
    COMMENT "Compressing the package changelog"
    VERBATIM)
  add_custom_target(suite_package_changelog ALL DEPENDS ${package_doc_build}/changelog.gz)
endif()
foreach(entry "korvel-suite|programs" "korvel-suite-simulators|simulators")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 package)
  list(GET entry 1 component)
  install(FILES ${CMAKE_SOURCE_DIR}/data/package/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  if(SUITE_GZIP)
    install(FILES ${package_doc_build}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  endif()
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/data/package/korvel-suite.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME korvel-suite COMPONENT programs)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvel-suite COMPONENT programs OPTIONAL)

# --- CPack ------------------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvel-suite)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Korvel suite developers")
set(CPACK_PACKAGE_CONTACT ${SUITE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL programs simulators)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SUITE_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The suite's own libraries sit in the program folder, found through $ORIGIN.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME korvel-suite)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_DEPENDS "libxvidcore4, fonts-wqy-microhei")
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION
"CCTV client suite: live video, recording and playback
Korvel, the live client, shows the cameras of network video recorders and
capture-card recorders in up to 25 windows on each of five display pages, with
sound and pan-tilt-zoom control, records by hand or by a weekly timetable, and
takes snapshots. Lumaro, the playback program, finds recordings by day, channel
and type on the local drives or on a recorder and plays up to 16 at once.
.
The package holds both programs with their libraries, themes and language
files (English and Chinese), the trace viewer korvel-trace-viewer, desktop
entries, icons, manual pages and the user guide.")

set(CPACK_DEBIAN_SIMULATORS_PACKAGE_NAME korvel-suite-simulators)
set(CPACK_DEBIAN_SIMULATORS_PACKAGE_SECTION video)
set(CPACK_DEBIAN_SIMULATORS_DESCRIPTION
"recorder and camera simulators for the CCTV client suite
Simulated devices for test benches and demonstrations of the CCTV client suite
without recorder or camera hardware: korvel-dvr-sim, a network video recorder
with synthetic cameras and a catalogue of recordings; korvel-alder-sim, a
capture-card recorder with live streams, sound and a recording archive;
korvel-camera-sim, a network camera serving test pictures over RTSP; and
korvel-onvif-sim, the services side of a network camera (discovery, profiles,
PTZ, snapshots) pointing at a korvel-camera-sim.
.
A site with real recorders does not need this package.")
if(TARGET camera_sim)
  # The camera builds its pipelines from GStreamer elements found by name at run time: the
  # encoders, payloaders, test sources and the clock overlay.
  set(CPACK_DEBIAN_SIMULATORS_PACKAGE_DEPENDS
      "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, gstreamer1.0-x")
endif()

include(CPack)
