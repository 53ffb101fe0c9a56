# One fuzzer per archiver library, each with the libraries' sources compiled
# in (instrumented) and fed through the same entry points as the exports.
find_package(LibArchive REQUIRED)
find_package(ZLIB REQUIRED)
foreach(format lha zip cab)
  set(name ${format}_archiver_fuzzer)
  mervok_add_fuzzer(${name} ${CMAKE_CURRENT_SOURCE_DIR}/archiver_fuzzer.cpp)
  target_sources(${name} PRIVATE ${MERVOK_ARCHIVER_PLUGIN_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src/archivers/plugins)
  string(TOUPPER ${format} upper)
  target_compile_definitions(${name} PRIVATE
    MERVOK_FUZZ_FORMAT_${upper}
    MERVOK_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    MERVOK_VERSION_MINOR=${PROJECT_VERSION_MINOR})
  target_link_libraries(${name} PRIVATE LibArchive::LibArchive ZLIB::ZLIB)
endforeach()
