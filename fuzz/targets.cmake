# Every fuzz target: korv_fuzz_target(NAME SOURCE LIBRARIES...). The fuzz build makes each a
# libFuzzer program (fuzz/CMakeLists.txt); the test build makes each a replay of its committed
# corpus and regression fixtures (tests/CMakeLists.txt). A new target needs one line here, its
# source, corpus/NAME/ and NAME.dict.
korv_fuzz_target(korvplus_fuzz korvplus_fuzz.cpp korv_test_mining)
korv_fuzz_target(korv_fuzz korv_fuzz.cpp korv_test_mining)
korv_fuzz_target(korv_spec_fuzz korv_spec_fuzz.cpp korv_core)
korv_fuzz_target(relative_support_fuzz relative_support_fuzz.cpp korvplus_core korv_core)
korv_fuzz_target(korvdb_fuzz korvdb_fuzz.cpp korvdatabase)
