# Third-party dependencies, all from Debian 12 packages (scripts/install-deps.sh).
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBAV REQUIRED IMPORTED_TARGET libavcodec libavutil libswscale)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
find_package(spdlog REQUIRED)  # the log file (platform/log_file)

find_path(XVID_INCLUDE_DIR xvid.h REQUIRED)
find_library(XVID_LIBRARY xvidcore REQUIRED)
add_library(xvid::xvidcore UNKNOWN IMPORTED)
set_target_properties(xvid::xvidcore PROPERTIES
  IMPORTED_LOCATION ${XVID_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${XVID_INCLUDE_DIR})

find_package(GTest REQUIRED)
include(GoogleTest)
if(ORVEL_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
if(ORVEL_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets OpenGL OpenGLWidgets PrintSupport Svg Test)
endif()
