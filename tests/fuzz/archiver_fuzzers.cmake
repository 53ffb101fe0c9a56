# One fuzzer per archiver library, linking the archive readers (instrumented
# like everything in a fuzzing build) and fed through the same entry points as
# the exports.
foreach(format lha zip cab)
  set(name ${format}_archiver_fuzzer)
  mervok_add_fuzzer(${name} ${CMAKE_CURRENT_SOURCE_DIR}/archiver_fuzzer.cpp)
  string(TOUPPER ${format} upper)
  target_compile_definitions(${name} PRIVATE
    MERVOK_FUZZ_FORMAT_${upper}
    MERVOK_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    MERVOK_VERSION_MINOR=${PROJECT_VERSION_MINOR})
  target_link_libraries(${name} PRIVATE mervok_archive_readers)
endforeach()
