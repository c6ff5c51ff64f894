include(GNUInstallDirs)

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
  defs/definitions.cpp
  defs/evaluate.cpp
  defs/raw_format.cpp
  report/monitor.cpp
  app/log_option.cpp
)
target_include_directories(kestrel_engine PUBLIC ${CMAKE_SOURCE_DIR})

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

# The shipped data goes beside the programs, where the definition search
# looks first.
set(KESTREL_DATA_FILES
  ${CMAKE_SOURCE_DIR}/data/smart.dat
  ${CMAKE_SOURCE_DIR}/data/error.dat
  ${CMAKE_SOURCE_DIR}/data/warning.dat)
add_custom_target(kestrel_data ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KESTREL_DATA_FILES} ${CMAKE_BINARY_DIR}
  COMMENT "Copying the definition and limit files")

if(WIN32)
  add_executable(kestrel WIN32 app/win32/main.cpp)
  target_link_libraries(kestrel PRIVATE kestrel_platform)
else()
  add_executable(kestrel-cli
    app/cli/kestrel_cli.cpp
    app/cli/cli_output.cpp
  )
  target_link_libraries(kestrel-cli PRIVATE kestrel_sim)
  install(TARGETS kestrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${KESTREL_DATA_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrel)
endif()
