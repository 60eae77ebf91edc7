# Cost of the music player's mode query and of rendering music.
add_executable(bench_music bench_music.cpp)
target_link_libraries(bench_music PRIVATE zoftrel_music benchmark::benchmark)
target_compile_definitions(bench_music
                           PRIVATE ZOFTREL_MUSIC_FILE="${ZOFTREL_RUN_DIR}/BackgroundMusic.mid")
set_target_properties(bench_music PROPERTIES AUTOMOC OFF)
add_dependencies(bench_music zoftrel_music_asset)
