# Cost of the music player's mode query and of rendering music.
add_executable(bench_music bench_music.cpp)
target_link_libraries(bench_music PRIVATE zoftrel_music benchmark::benchmark)
target_compile_definitions(bench_music
                           PRIVATE ZOFTREL_MUSIC_FILE="${ZOFTREL_RUN_DIR}/BackgroundMusic.mid")
set_target_properties(bench_music PROPERTIES AUTOMOC OFF)
add_dependencies(bench_music zoftrel_music_asset)

# Renders the whole tune to a WAV file and reports its CPU time.
add_executable(render_tune render_tune.cpp)
target_link_libraries(render_tune PRIVATE zoftrel_music)
target_compile_definitions(render_tune
                           PRIVATE ZOFTREL_MUSIC_FILE="${ZOFTREL_RUN_DIR}/BackgroundMusic.mid")
set_target_properties(render_tune PROPERTIES AUTOMOC OFF)
add_dependencies(render_tune zoftrel_music_asset)
