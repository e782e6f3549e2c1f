# The installation benchmark's probe (bench/install_bench.sh), Windows build only and only with
# -DBUILD_INSTALL_BENCH=ON: OUT_DIR/bench/pause_probe.exe, which times the installer's fixed
# pauses as Wine actually takes them. The installers it measures are packed by the packer from
# OUT_DIR/setup.exe, as a publisher makes them.
option(BUILD_INSTALL_BENCH "Build the installation benchmark's probe (Windows only)" OFF)
if(NOT BUILD_INSTALL_BENCH)
  return()
endif()

add_executable(pause_probe pause_probe.cpp)
set_target_properties(pause_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${OUT_DIR}/bench)
