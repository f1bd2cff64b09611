# The sanitized build (make test-sanitize): AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer on every target, so the ordinary tests also catch
# memory errors, leaks and undefined behaviour. -O1 and -g1 keep the build and
# the run short enough for CI while reports still name files and lines.
add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer -O1 -g1)
add_link_options(-fsanitize=address,undefined)

# Every test (and each child process it starts) reads these. A memory error or
# a leak inside a third-party library is kept out by the suppressions files,
# whose entries say why each one is not ours.
set(QUIMBO_SANITIZE_ENVIRONMENT
    "ASAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/asan-suppressions.txt:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:strict_string_checks=1"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan-suppressions.txt:print_suppressions=0")

# ASan makes the slowest tests several times slower: their limits grow here only.
set(QUIMBO_SANITIZE_TIMEOUT_FACTOR 3)

# Every executable gets sanitizekeeplibraries.cpp; the linker exports its
# dlclose so that the libraries' own calls reach it instead of the C library's.
add_link_options(-Wl,--export-dynamic-symbol=dlclose)
function(_quimbo_keep_libraries_in dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "EXECUTABLE")
            target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/sanitizekeeplibraries.cpp)
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir ${subdirs})
        _quimbo_keep_libraries_in(${subdir})
    endforeach()
endfunction()
cmake_language(DEFER CALL _quimbo_keep_libraries_in ${PROJECT_SOURCE_DIR})
