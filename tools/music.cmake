# The background tune: an original march written as a standard MIDI file
# beside the program.
add_executable(gentune gentune.cpp ${CMAKE_SOURCE_DIR}/music/midifile.cpp)
target_include_directories(gentune PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(gentune PROPERTIES AUTOMOC OFF)

set(ZOFTREL_MUSIC_FILE ${ZOFTREL_RUN_DIR}/BackgroundMusic.mid)
add_custom_command(
  OUTPUT ${ZOFTREL_MUSIC_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZOFTREL_RUN_DIR}
  COMMAND gentune ${ZOFTREL_MUSIC_FILE}
  DEPENDS gentune
  COMMENT "Writing the background tune"
  VERBATIM)

# The tune recorded ahead of time through the synthesizer and soundfont the
# program would record it with, so that the program streams it instead of
# synthesising it at every start. It names what it was made from: a
# program that finds another tune, soundfont or synthesizer records at run
# time. Without a soundfont here nothing is written.
add_executable(recordtune recordtune.cpp)
target_link_libraries(recordtune PRIVATE zoftrel_music)
target_include_directories(recordtune PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(recordtune PROPERTIES AUTOMOC OFF)
set(ZOFTREL_RECORDING_FILE ${ZOFTREL_RUN_DIR}/BackgroundMusic.recording)
add_custom_command(
  OUTPUT ${ZOFTREL_RECORDING_FILE}
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:recordtune> ${ZOFTREL_MUSIC_FILE} ${ZOFTREL_RECORDING_FILE}
  DEPENDS recordtune ${ZOFTREL_MUSIC_FILE}
  COMMENT "Recording the background tune"
  VERBATIM)
add_custom_target(zoftrel_music_asset DEPENDS ${ZOFTREL_MUSIC_FILE} ${ZOFTREL_RECORDING_FILE})
