# A small folder of real archives to try the program on: every format, some
# with documents and some without. The run command searches it.
set(MERVOK_SAMPLE_DIR ${CMAKE_BINARY_DIR}/sample)
set(fixtures ${PROJECT_SOURCE_DIR}/tests/data/archives)
set(sample_files
  "zip/plain.zip|readme-and-tool.zip"
  "zip/nodoc.zip|tool-only.zip"
  "zip/nested.zip|docs/nested-guide.zip"
  "lha/lh5.lzh|docs/guide.lzh"
  "lha/nodoc.lzh|docs/program.lzh"
  "lha/sjis_level2.lzh|docs/japanese-manual.lzh"
  "../quorvix/sjis_lh7.lzh|docs/setsumei.lzh"
  "../quorvix/html.zip|docs/html-manual.zip"
  "cab/mszip.cab|drivers/driver.cab"
  "cab/nodoc.cab|drivers/firmware.cab"
  "sfx/lha_8k.exe|setup/lha-setup.exe"
  "sfx/zip_8k.exe|setup/zip-setup.exe"
  "sfx/cab_8k.exe|setup/cab-setup.exe"
  "sfx/zip_nodoc_8k.exe|setup/no-docs-setup.exe"
  "stub/stub_8k.exe|setup/plain-program.exe")
set(sample_outputs)
foreach(entry ${sample_files})
  string(REPLACE "|" ";" pair ${entry})
  list(GET pair 0 from)
  list(GET pair 1 to)
  add_custom_command(OUTPUT ${MERVOK_SAMPLE_DIR}/${to}
    COMMAND ${CMAKE_COMMAND} -E copy ${fixtures}/${from} ${MERVOK_SAMPLE_DIR}/${to}
    DEPENDS ${fixtures}/${from})
  list(APPEND sample_outputs ${MERVOK_SAMPLE_DIR}/${to})
endforeach()
add_custom_target(mervok_sample ALL DEPENDS ${sample_outputs})
