# The MIDI file checker, compiled into the target so that libFuzzer sees
# its coverage; seeds in midi_corpus/.
zoftrel_fuzz_target(fuzz_midi SOURCES fuzz_midi.cpp ${CMAKE_SOURCE_DIR}/music/midifile.cpp)
target_include_directories(fuzz_midi PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(fuzz_midi PROPERTIES AUTOMOC OFF)
