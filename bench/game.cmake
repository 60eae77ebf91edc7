# Cost of the battlefield and of a main-loop tick on the real main window.
add_executable(bench_game bench_game.cpp)
target_include_directories(bench_game PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(bench_game PRIVATE zoftrel_ui benchmark::benchmark)
target_compile_definitions(bench_game PRIVATE ZOFTREL_RUN_DIR="${ZOFTREL_RUN_DIR}")
add_dependencies(bench_game zoftrel_music_asset)

# CPU on the game-over screen after the applause; run by bench/startup.sh.
add_executable(idle_gameover idle_gameover.cpp)
target_link_libraries(idle_gameover PRIVATE zoftrel_ui)

# A main-loop tick on the battlefield alone, without Qt.
add_executable(bench_battlefield bench_battlefield.cpp)
target_include_directories(bench_battlefield PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(bench_battlefield PRIVATE zoftrel_game benchmark::benchmark)
set_target_properties(bench_battlefield PROPERTIES AUTOMOC OFF)

# Computer against computer on the battlefield without a window.
add_executable(tournament tournament.cpp)
target_include_directories(tournament PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(tournament PRIVATE zoftrel_game)

# The computer player's work per tick, with its allocations counted.
add_executable(bench_computer bench_computer.cpp)
target_include_directories(bench_computer PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(bench_computer PRIVATE zoftrel_game benchmark::benchmark)
set_target_properties(tournament bench_computer PROPERTIES AUTOMOC OFF)
