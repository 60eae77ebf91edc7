zoftrel_fuzz_target(fuzz_net SOURCES fuzz_net.cpp LIBS zoftrel_net)
target_include_directories(fuzz_net PRIVATE ${CMAKE_SOURCE_DIR})
