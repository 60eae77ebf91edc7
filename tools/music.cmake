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
add_custom_target(zoftrel_music_asset DEPENDS ${ZOFTREL_MUSIC_FILE})
