# The engine: platform-free code shared by every front end.
add_library(kestrel_engine STATIC
  base/cp932.cpp
  base/ini.cpp
  scan/drive_table.cpp
  scan/identity.cpp
  scan/scan.cpp
  ata/ata_channel.cpp
  ata/smart_ioctl.cpp
  defs/definitions.cpp
  defs/evaluate.cpp
  sim/scenario.cpp
  sim/sim_drives.cpp
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
endif()
target_link_libraries(kestrel_platform PUBLIC kestrel_engine)

if(WIN32)
  add_executable(kestrel WIN32 app/win32/main.cpp)
  target_link_libraries(kestrel PRIVATE kestrel_platform)
else()
  add_executable(kestrel-cli
    app/cli/kestrel_cli.cpp
    app/cli/cli_output.cpp
  )
  target_link_libraries(kestrel-cli PRIVATE kestrel_platform)
  install(TARGETS kestrel-cli RUNTIME DESTINATION bin)
endif()
