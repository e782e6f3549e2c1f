# The installation benchmark's programs (bench/install_bench.sh), Windows build only and only
# when BENCH_SETUP_PAYLOADS names payloads, so that ordinary builds never embed them.
#
#   -DBENCH_SETUP_PAYLOADS="mixed=/path/mixed.zip;tiny=/path/tiny.zip"
#
# gives OUT_DIR/bench/NAME/setup.exe for each pair: the installer with that archive and
# bench/install_config.json embedded as its ZIPFILE and CONFIGFILE resources, as a publisher
# ships it. It also gives OUT_DIR/bench/pause_probe.exe, which times the installer's fixed
# pauses as Wine actually takes them.
set(BENCH_SETUP_PAYLOADS "" CACHE STRING
    "Installation benchmark: NAME=ZIP pairs whose installers to build (empty: none)")
if(NOT BENCH_SETUP_PAYLOADS)
  return()
endif()

set(BENCH_CONFIG ${CMAKE_CURRENT_SOURCE_DIR}/install_config.json)
set(BENCH_OUT ${OUT_DIR}/bench)
# The main window's own pictures, as in out/setup.exe; source properties are per folder, so
# the picture folder is given again here.
set(BENCH_LAYOUT_RC ${REPO_ROOT}/ui/pictures/layout.rc)
file(GLOB BENCH_LAYOUT_PICTURES ${REPO_ROOT}/ui/pictures/*.png)
set_source_files_properties(${BENCH_LAYOUT_RC} PROPERTIES
  OBJECT_DEPENDS "${BENCH_LAYOUT_PICTURES}" COMPILE_OPTIONS "-I${REPO_ROOT}/ui/pictures")

add_executable(pause_probe pause_probe.cpp)
set_target_properties(pause_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${BENCH_OUT})

foreach(pair IN LISTS BENCH_SETUP_PAYLOADS)
  if(NOT pair MATCHES "^([A-Za-z0-9_-]+)=(.+)$")
    message(FATAL_ERROR "BENCH_SETUP_PAYLOADS: \"${pair}\" is not NAME=ZIP")
  endif()
  set(name ${CMAKE_MATCH_1})
  set(zip ${CMAKE_MATCH_2})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}_resources.rc)
  file(WRITE ${rc} "// Generated: the ${name} payload and the benchmark's settings.\n"
                   "ZIPFILE FILE \"${zip}\"\nCONFIGFILE FILE \"${BENCH_CONFIG}\"\n")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${zip};${BENCH_CONFIG}")
  add_executable(bench_setup_${name} WIN32 ${REPO_ROOT}/app/main.cpp ${REPO_ROOT}/app/setup.rc
                                           ${BENCH_LAYOUT_RC} ${rc})
  target_link_libraries(bench_setup_${name} PRIVATE install_win)
  # setup.rc finds its icon and manifest beside it.
  target_include_directories(bench_setup_${name} PRIVATE ${REPO_ROOT}/app)
  set_target_properties(bench_setup_${name} PROPERTIES OUTPUT_NAME setup
                        RUNTIME_OUTPUT_DIRECTORY ${BENCH_OUT}/${name})
endforeach()
