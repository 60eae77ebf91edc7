# The MIDI file checker and the background-music player.
set(ZOFTREL_MUSIC_TEST_DEFS ZOFTREL_MUSIC_FILE="${ZOFTREL_RUN_DIR}/BackgroundMusic.mid")

zoftrel_unit_test(test_midifile SOURCES test_midifile.cpp LIBS zoftrel_music)
target_compile_definitions(test_midifile PRIVATE ${ZOFTREL_MUSIC_TEST_DEFS})
add_dependencies(test_midifile zoftrel_music_asset)

zoftrel_unit_test(test_mediaplayer SOURCES test_mediaplayer.cpp LIBS zoftrel_music)
target_compile_definitions(test_mediaplayer PRIVATE ${ZOFTREL_MUSIC_TEST_DEFS})
add_dependencies(test_mediaplayer zoftrel_music_asset)
