include(GNUInstallDirs)
find_package(Threads REQUIRED)

# The engine: platform-free code shared by every front end.
add_library(kestrel_engine STATIC
  base/command_line.cpp
  base/cp932.cpp
  base/ini.cpp
  records/drive_table.cpp
  scan/identity.cpp
  scan/scan.cpp
  ata/ata_channel.cpp
  ata/smart_ioctl.cpp
  ata/sat_passthrough.cpp
  ata/disk_names.cpp
  ata/nvme_bridge.cpp
  ata/nvme_storage_query.cpp
  defs/definitions.cpp
  defs/definition_check.cpp
  defs/evaluate.cpp
  defs/raw_format.cpp
  report/monitor.cpp
  report/drive_key.cpp
  report/health_report.cpp
  report/metrics.cpp
  app/log_option.cpp
  app/shell/shell_model.cpp
)
target_include_directories(kestrel_engine PUBLIC ${CMAKE_SOURCE_DIR})
# The drive key's MD5 comes from the platform's hashing service.
if(WIN32)
  target_sources(kestrel_engine PRIVATE report/md5_win32.cpp)
  target_link_libraries(kestrel_engine PUBLIC advapi32)
else()
  # libmd's static archive: a few kilobytes of MD5 and nothing else, the
  # same for every program, and the statically linked kestrel-cli needs
  # nothing from the system at run time. (libcrypto's digest interface
  # brought its whole provider machinery along: 3 MB of program text,
  # most of a watch's resident memory.)
  find_library(KESTREL_LIBMD NAMES libmd.a md)
  find_path(KESTREL_LIBMD_INCLUDE md5.h)
  if(NOT KESTREL_LIBMD OR NOT KESTREL_LIBMD_INCLUDE)
    message(FATAL_ERROR "The drive key needs libmd (md5.h): "
      "scripts/install-deps.sh demo installs it.")
  endif()
  target_sources(kestrel_engine PRIVATE report/md5_linux.cpp)
  target_include_directories(kestrel_engine PRIVATE ${KESTREL_LIBMD_INCLUDE})
  target_link_libraries(kestrel_engine PUBLIC ${KESTREL_LIBMD} ${CMAKE_DL_LIBS} Threads::Threads)
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
  # Where an installed copy keeps its definition and limit files, from
  # the directory of its executable: found so under any prefix, the
  # package's /usr as well as a hand install's.
  file(RELATIVE_PATH kestrel_data_from_program ${CMAKE_INSTALL_FULL_BINDIR}
       ${CMAKE_INSTALL_FULL_DATADIR}/kestrel)
  target_compile_definitions(kestrel_platform PRIVATE
    KESTREL_DATA_FROM_PROGRAM="${kestrel_data_from_program}")
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
          ${CMAKE_SOURCE_DIR}/data/src/nvme.ini
          ${CMAKE_SOURCE_DIR}/data/src/limits.ini
  COMMENT "Writing the definition and limit files")
add_custom_target(kestrel_data ALL DEPENDS ${KESTREL_DATA_FILES})

if(WIN32)
  # The Windows program's resources (resources/kestrel.rc): dialogs, menu,
  # version and manifest, with the icons and bitmaps that
  # tools/gen_artwork.py draws into the build's artwork folder. The drawing
  # needs Pillow (Debian's python3-pil), which belongs to the system's
  # interpreter, so take the first interpreter that has it.
  enable_language(RC)
  set(KESTREL_ARTWORK_PYTHON "")
  foreach(candidate ${Python3_EXECUTABLE} /usr/bin/python3)
    execute_process(COMMAND ${candidate} -c "import PIL"
      RESULT_VARIABLE kestrel_pil_missing OUTPUT_QUIET ERROR_QUIET)
    if(kestrel_pil_missing EQUAL 0)
      set(KESTREL_ARTWORK_PYTHON ${candidate})
      break()
    endif()
  endforeach()
  if(NOT KESTREL_ARTWORK_PYTHON)
    message(FATAL_ERROR "The artwork needs Python with Pillow: "
      "scripts/install-deps.sh win-demo installs it.")
  endif()
  set(KESTREL_ARTWORK_DIR ${CMAKE_BINARY_DIR}/artwork)
  set(KESTREL_ARTWORK_FILES
    ${KESTREL_ARTWORK_DIR}/kestrel.ico
    ${KESTREL_ARTWORK_DIR}/kestrel-warning.ico
    ${KESTREL_ARTWORK_DIR}/kestrel-error.ico
    ${KESTREL_ARTWORK_DIR}/title.bmp
    ${KESTREL_ARTWORK_DIR}/buttons.bmp)
  add_custom_command(OUTPUT ${KESTREL_ARTWORK_FILES}
    COMMAND ${KESTREL_ARTWORK_PYTHON} ${CMAKE_SOURCE_DIR}/tools/gen_artwork.py
            ${KESTREL_ARTWORK_DIR}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_artwork.py
    COMMENT "Drawing the icons and bitmaps")
  add_custom_target(kestrel_artwork DEPENDS ${KESTREL_ARTWORK_FILES})
  # windres takes none of the compilers' options (-W..., -f...), so the
  # script is compiled in object libraries of its own, once with the
  # administrator manifest for the real drives and once without it for the
  # simulated ones. The executables take the objects as sources.
  foreach(variant kestrel_resources kestrel_sim_resources)
    add_library(${variant} OBJECT resources/kestrel.rc)
    set_property(TARGET ${variant} PROPERTY COMPILE_OPTIONS "")
    target_include_directories(${variant} PRIVATE
      ${CMAKE_SOURCE_DIR}/resources ${KESTREL_ARTWORK_DIR})
    add_dependencies(${variant} kestrel_artwork)
  endforeach()
  target_compile_definitions(kestrel_sim_resources PRIVATE KESTREL_SIMULATED)
  # windres reports no dependencies: name what the script includes.
  set_source_files_properties(resources/kestrel.rc PROPERTIES OBJECT_DEPENDS
    "${KESTREL_ARTWORK_FILES};${CMAKE_SOURCE_DIR}/resources/resource.h;${CMAKE_SOURCE_DIR}/resources/kestrel.manifest;${CMAKE_SOURCE_DIR}/resources/kestrel-sim.manifest")
  set(KESTREL_WIN32_RESOURCES $<TARGET_OBJECTS:kestrel_resources>)
  set(KESTREL_WIN32_SIM_RESOURCES $<TARGET_OBJECTS:kestrel_sim_resources>)
endif()

if(WIN32)
  # The window side of the Windows program, shared by its two executables.
  add_library(kestrel_win32 STATIC
    app/win32/about_dialog.cpp
    app/win32/diagnosis_panel.cpp
    app/win32/dialog_window.cpp
    app/win32/drive_properties_dialog.cpp
    app/win32/main_window.cpp
    app/win32/program.cpp
  )
  target_link_libraries(kestrel_win32 PUBLIC kestrel_platform comctl32 shell32 version
    gdi32 user32)
  # Kestrel.exe on the machine's drives, KestrelSim.exe on a scenario.
  add_executable(kestrel WIN32 app/win32/main_drives.cpp ${KESTREL_WIN32_RESOURCES})
  target_link_libraries(kestrel PRIVATE kestrel_win32)
  set_target_properties(kestrel PROPERTIES OUTPUT_NAME Kestrel)
  add_executable(kestrel-sim WIN32 app/win32/main_simulated.cpp ${KESTREL_WIN32_SIM_RESOURCES})
  target_link_libraries(kestrel-sim PRIVATE kestrel_win32 kestrel_sim)
  set_target_properties(kestrel-sim PROPERTIES OUTPUT_NAME KestrelSim)
else()
  add_executable(kestrel-cli
    app/cli/kestrel_cli.cpp
    app/cli/cli_output.cpp
    app/cli/notify_hook.cpp
    app/cli/metrics_export.cpp
    app/cli/http_request.cpp
  )
  target_link_libraries(kestrel-cli PRIVATE kestrel_sim)
  # The C++ runtime linked in: a shared libstdc++ puts about 1.4 MB of its
  # pages into every process's resident memory (relocations touch them),
  # the few parts a program uses far less; a watch with metrics stays
  # within 4 MB. The C library stays shared, for the system's updates.
  if(NOT KESTREL_SANITIZE)
    target_link_options(kestrel-cli PRIVATE -static-libstdc++ -static-libgcc)
  endif()
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

# The HTML folder the health report is written into (html/<status>/) and
# framed by, beside the programs: per status the frame set, its header,
# footer and service page, from the templates in data/html, and the tab
# images, drawn on the build host by ImageMagick with the IPA Gothic font.
find_program(KESTREL_CONVERT convert PATHS /usr/bin
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_file(KESTREL_TAB_FONT NAMES ipag.ttf fonts-japanese-gothic.ttf
  PATHS /usr/share/fonts/opentype/ipafont-gothic /usr/share/fonts/truetype
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT KESTREL_CONVERT OR NOT KESTREL_TAB_FONT)
  message(FATAL_ERROR "The HTML folder needs ImageMagick (/usr/bin/convert) "
    "and the IPA Gothic font: scripts/install-deps.sh demo installs them.")
endif()
set(KESTREL_HTML_TEMPLATES
  ${CMAKE_SOURCE_DIR}/data/html/index.html
  ${CMAKE_SOURCE_DIR}/data/html/header.html
  ${CMAKE_SOURCE_DIR}/data/html/service.html
  ${CMAKE_SOURCE_DIR}/data/html/footer.html)
set(KESTREL_HTML_FILES ${CMAKE_BINARY_DIR}/html/images/icon-tri01.gif)
foreach(status normal warning error)
  foreach(page index header service footer)
    list(APPEND KESTREL_HTML_FILES ${CMAKE_BINARY_DIR}/html/${status}/${page}.html)
  endforeach()
  foreach(tab tab01a tab01b tab02a tab02b)
    list(APPEND KESTREL_HTML_FILES ${CMAKE_BINARY_DIR}/html/images/${status}_${tab}.gif)
  endforeach()
endforeach()
add_custom_command(OUTPUT ${KESTREL_HTML_FILES}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/gen_html.py
          --convert ${KESTREL_CONVERT} --font ${KESTREL_TAB_FONT}
          ${CMAKE_BINARY_DIR}/html
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_html.py ${KESTREL_HTML_TEMPLATES}
  COMMENT "Writing the HTML folder")
add_custom_target(kestrel_html ALL DEPENDS ${KESTREL_HTML_FILES})
# Every program is built with the files it reads at run time: the
# definitions and limits, and the HTML folder it writes its report into.
if(WIN32)
  set(kestrel_programs kestrel kestrel-sim)
else()
  set(kestrel_programs kestrel-cli)
  if(TARGET kestrel-cli-static)
    list(APPEND kestrel_programs kestrel-cli-static)
  endif()
endif()
foreach(program ${kestrel_programs})
  add_dependencies(${program} kestrel_data kestrel_html)
endforeach()

if(WIN32)
  # The help page (help\help.html, looked up from the current directory)
  # beside the programs, in code page 932 from its UTF-8 source.
  set(KESTREL_HELP_PAGE ${CMAKE_BINARY_DIR}/help/help.html)
  add_custom_command(OUTPUT ${KESTREL_HELP_PAGE}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/to_cp932.py
            ${CMAKE_SOURCE_DIR}/help/help.html ${KESTREL_HELP_PAGE}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/to_cp932.py ${CMAKE_SOURCE_DIR}/help/help.html
    COMMENT "Writing the help page")
  add_custom_target(kestrel_help ALL DEPENDS ${KESTREL_HELP_PAGE})
  foreach(program ${kestrel_programs})
    add_dependencies(${program} kestrel_help)
  endforeach()

  # The distribution: dist/Kestrel/ laid out as the programs expect when
  # started from it (the executables, the definition and limit files, the
  # HTML folder, help\help.html, and the demo drives as KestrelSim.exe's
  # scenario.ini), and Kestrel.zip of it. Made afresh from the build's
  # files only, never from what a run left beside them (reports, settings).
  set(KESTREL_DIST ${CMAKE_BINARY_DIR}/dist/Kestrel)
  set(KESTREL_ZIP ${CMAKE_BINARY_DIR}/Kestrel.zip)
  set(kestrel_dist_copies)
  foreach(file ${KESTREL_HTML_FILES})
    file(RELATIVE_PATH relative ${CMAKE_BINARY_DIR} ${file})
    get_filename_component(folder ${KESTREL_DIST}/${relative} DIRECTORY)
    list(APPEND kestrel_dist_copies
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
      COMMAND ${CMAKE_COMMAND} -E copy ${file} ${KESTREL_DIST}/${relative})
  endforeach()
  add_custom_command(OUTPUT ${KESTREL_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/dist ${KESTREL_ZIP}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTREL_DIST}/help
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kestrel> $<TARGET_FILE:kestrel-sim>
            ${KESTREL_DATA_FILES} ${KESTREL_DIST}
    COMMAND ${CMAKE_COMMAND} -E copy ${KESTREL_HELP_PAGE} ${KESTREL_DIST}/help
    ${kestrel_dist_copies}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/to_cp932.py
            ${CMAKE_SOURCE_DIR}/data/demo.scenario ${KESTREL_DIST}/scenario.ini
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/dist
            ${CMAKE_COMMAND} -E tar cf ${KESTREL_ZIP} --format=zip Kestrel
    DEPENDS kestrel kestrel-sim ${KESTREL_DATA_FILES} ${KESTREL_HTML_FILES}
            ${KESTREL_HELP_PAGE} ${CMAKE_SOURCE_DIR}/tools/to_cp932.py
            ${CMAKE_SOURCE_DIR}/data/demo.scenario
    COMMENT "Making the distribution folder and Kestrel.zip")
  add_custom_target(kestrel_dist ALL DEPENDS ${KESTREL_ZIP})
endif()
