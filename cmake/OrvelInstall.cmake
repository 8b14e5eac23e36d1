# Installation (cmake --install) and the Debian package (cpack). The programs need nothing
# from the source tree at run time; the demo configuration and scenario are installed for
# trying the client against the simulator (dvrsim --demo).
include(GNUInstallDirs)

foreach(program orvelcam dvrsim dvrtool)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET orvelcam)
  install(FILES ${PROJECT_SOURCE_DIR}/res/desktop/orvelcam.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/res/desktop/orvelcam.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/res/demo/orvelcam.ini
              ${PROJECT_SOURCE_DIR}/tools/dvrsim/demo/demo.scenario
        DESTINATION ${CMAKE_INSTALL_DATADIR}/orvelcam/demo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvelcam)
set(CPACK_PACKAGE_VENDOR "OrvelCam")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop client for networked CCTV digital video recorders")
set(CPACK_PACKAGE_DESCRIPTION "Keeps a list of DVR sites, shows up to 36 live cameras in a \
grid, steers pan-tilt-zoom cameras, records channels to local .dvr files and plays them. \
Includes dvrsim, a DVR simulator, and dvrtool, a tool for .dvr files.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "OrvelCam developers <orvelcam@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The shared libraries the programs link (Qt, FFmpeg, xvidcore, ALSA, spdlog, ...) become
# dependencies through dpkg-shlibdeps; the rest are what Qt loads at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libqt6opengl6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri, fonts-noto-cjk | fonts-wqy-microhei")
set(CPACK_STRIP_FILES ON)
include(CPack)
