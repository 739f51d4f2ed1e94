# Sourced by test.sh: what the evidence tiers need (fuzzing, sanitizers,
# static analysis, PE checks of the package, benchmarks).
ovt_need_packages clang-14 libclang-rt-14-dev clang-tidy-14 cppcheck valgrind python3-pefile libbenchmark-dev
