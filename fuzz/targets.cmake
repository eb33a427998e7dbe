# The fuzz targets as a library: linked into the libFuzzer executables of a fuzz build
# and into the regression tests of every build.
if(NOT TARGET zerbex_fuzz_targets)
  set(zerbex_support_dir ${PROJECT_SOURCE_DIR}/tests/test_support)
  add_library(zerbex_fuzz_targets STATIC
    ${CMAKE_CURRENT_LIST_DIR}/cache_target.cpp
    ${CMAKE_CURRENT_LIST_DIR}/decode_target.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_io.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options_target.cpp
    ${CMAKE_CURRENT_LIST_DIR}/play_job_target.cpp
    ${CMAKE_CURRENT_LIST_DIR}/presets_target.cpp
    ${CMAKE_CURRENT_LIST_DIR}/processing_target.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scratch_dir.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tags_target.cpp
    ${CMAKE_CURRENT_LIST_DIR}/walk_model.cpp
    ${CMAKE_CURRENT_LIST_DIR}/write_job_target.cpp
  )
  target_include_directories(zerbex_fuzz_targets PUBLIC ${PROJECT_SOURCE_DIR})
  # The option parser is the tool's own.
  target_link_libraries(zerbex_fuzz_targets PUBLIC zerbex_codec_tags zerbex_cli_core)
  if(TARGET zerbex_test_support)
    target_link_libraries(zerbex_fuzz_targets PUBLIC zerbex_test_support)
  else()
    # A fuzz build has no tests: the observer and the sound output of the tests come along.
    target_sources(zerbex_fuzz_targets PRIVATE ${zerbex_support_dir}/recording_observer.cpp
      ${zerbex_support_dir}/test_audio_out.cpp ${zerbex_support_dir}/wav_builder.cpp)
    target_link_libraries(zerbex_fuzz_targets PUBLIC zerbex_jobs zerbex_playback
      Threads::Threads)
  endif()
endif()
