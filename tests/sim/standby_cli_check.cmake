# kestrel-cli's watch on a disk that spins down at second 10: left asleep
# (JSON "asleep", kestrel_drive_asleep 1, the last reading at second 0);
# with --wake it is read at 30 and 60.
set(scenario ${CMAKE_CURRENT_BINARY_DIR}/cli_standby.scenario)
set(metrics ${CMAKE_CURRENT_BINARY_DIR}/cli_standby.prom)
file(WRITE ${scenario} "[Platform]\nClock = 2026-12-08 10:00:00\n"
     "[Drive0]\nModel = S\nAttribute.05 = 0x0033 100 100 0 36\n[At 10]\nDrive0.Power = standby\n")
foreach(wake "" "--wake")
  execute_process(COMMAND ${CLI} --sim ${scenario} --ticks 60 --json --metrics-file ${metrics} ${wake}
                  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  string(REGEX MATCH "[^\n]*\n$" json "${out}")
  string(JSON asleep GET "${json}" drives 0 asleep)
  string(JSON last GET "${json}" drives 0 lastEvaluated)
  file(READ ${metrics} prom)
  if(wake)
    set(want OFF "2026-12-08 10:01:00" 0)
  else()
    set(want ON "2026-12-08 10:00:00" 1)
  endif()
  list(GET want 0 wantAsleep)
  list(GET want 1 wantLast)
  list(GET want 2 wantMetric)
  if(NOT rc EQUAL 0 OR NOT asleep STREQUAL wantAsleep OR NOT last STREQUAL wantLast
     OR NOT prom MATCHES "\nkestrel_drive_asleep{drive=\"0\"[^}]*} ${wantMetric}\n")
    message(FATAL_ERROR "${wake}: asleep ${asleep}, last read ${last}\n${json}\n${prom}")
  endif()
endforeach()
