include(GNUInstallDirs)
find_package(Threads REQUIRED)

# The engine: platform-free code shared by every front end.
add_library(kestrel_engine STATIC
  base/command_line.cpp
  base/cp932.cpp
  base/ini.cpp
  scan/drive_table.cpp
  scan/identity.cpp
  scan/scan.cpp
  ata/ata_channel.cpp
  ata/smart_ioctl.cpp
  ata/sat_passthrough.cpp
  ata/disk_names.cpp
  defs/definitions.cpp
  defs/definition_check.cpp
  defs/evaluate.cpp
  defs/raw_format.cpp
  report/monitor.cpp
  report/drive_key.cpp
  report/health_report.cpp
  app/log_option.cpp
  app/shell/shell_model.cpp
)
target_include_directories(kestrel_engine PUBLIC ${CMAKE_SOURCE_DIR})
# The drive key's MD5 comes from the platform's hashing service.
if(WIN32)
  target_sources(kestrel_engine PRIVATE report/md5_win32.cpp)
  target_link_libraries(kestrel_engine PUBLIC advapi32)
else()
  # libcrypto's static archive: the same for every program, and the
  # statically linked kestrel-cli needs nothing from the system at run time.
  set(OPENSSL_USE_STATIC_LIBS TRUE)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  target_sources(kestrel_engine PRIVATE report/md5_linux.cpp)
  target_link_libraries(kestrel_engine PUBLIC OpenSSL::Crypto ${CMAKE_DL_LIBS} Threads::Threads)
endif()

# The platform layer: one file per platform behind each interface.
if(WIN32)
  add_library(kestrel_platform STATIC
    ata/ata_platform_win32.cpp
    scan/environment_win32.cpp
  )
else()
  add_library(kestrel_platform STATIC
    ata/ata_platform_linux.cpp
    scan/environment_linux.cpp
  )
  # Where an installed copy keeps its definition and limit files.
  target_compile_definitions(kestrel_platform PRIVATE
    KESTREL_DATA_DIR="${CMAKE_INSTALL_FULL_DATADIR}/kestrel")
endif()
target_link_libraries(kestrel_platform PUBLIC kestrel_engine)

# Simulated drives, on any platform.
add_library(kestrel_sim STATIC
  sim/scenario.cpp
  sim/sim_drives.cpp
)
target_link_libraries(kestrel_sim PUBLIC kestrel_platform)

# The shipped definition and limit files, written from their readable
# sources in data/src, go beside the programs, where the definition search
# looks first.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(KESTREL_DATA_FILES
  ${CMAKE_BINARY_DIR}/smart.dat
  ${CMAKE_BINARY_DIR}/error.dat
  ${CMAKE_BINARY_DIR}/warning.dat)
add_custom_command(OUTPUT ${KESTREL_DATA_FILES}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/gen_data.py ${CMAKE_BINARY_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_data.py
          ${CMAKE_SOURCE_DIR}/data/src/smart.ini
          ${CMAKE_SOURCE_DIR}/data/src/limits.ini
  COMMENT "Writing the definition and limit files")
add_custom_target(kestrel_data ALL DEPENDS ${KESTREL_DATA_FILES})

if(WIN32)
  add_executable(kestrel WIN32 app/win32/main.cpp)
  target_link_libraries(kestrel PRIVATE kestrel_platform)
else()
  add_executable(kestrel-cli
    app/cli/kestrel_cli.cpp
    app/cli/cli_output.cpp
  )
  target_link_libraries(kestrel-cli PRIVATE kestrel_sim)
  # A self-contained copy for a machine without our libraries: the small
  # Linux guest of the emulated-disk test (tests/qemu). It needs neither
  # iconv modules nor name services at run time.
  if(NOT KESTREL_SANITIZE)
    get_target_property(kestrel_cli_sources kestrel-cli SOURCES)
    add_executable(kestrel-cli-static ${kestrel_cli_sources})
    target_link_libraries(kestrel-cli-static PRIVATE kestrel_sim)
    target_link_options(kestrel-cli-static PRIVATE -static)
  endif()
  install(TARGETS kestrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${KESTREL_DATA_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrel)
endif()
