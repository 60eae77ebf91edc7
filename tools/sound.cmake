# The game's sound effects as one sound-library property block; run from
# sound/CMakeLists.txt.
add_executable(zoftrel_gensounds ${CMAKE_CURRENT_LIST_DIR}/gensounds.cpp)
target_link_libraries(zoftrel_gensounds PRIVATE zoftrel_sfxslib)
