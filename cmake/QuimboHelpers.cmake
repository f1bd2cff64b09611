# quimbo_add_library(<name> <sources...>): one static library per source folder.
function(quimbo_add_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY \"${PROJECT_SOURCE_DIR}\" CALL _quimbo_fill_empty ${name})")
endfunction()

# quimbo_emulator_environment(<list>): in a cross build, what a test needs so that
# the programs it starts itself run through the same emulator
# (TestData::startBuiltProgram) and QProcess can start them there at all.
function(quimbo_emulator_environment list)
    set(environment ${${list}})
    list(APPEND environment "QUIMBO_TEST_EMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
         "QEMU_SET_ENV=LD_PRELOAD=${PROJECT_BINARY_DIR}/lib/libquimbo_emulatorfork.so")
    set(${list} ${environment} PARENT_SCOPE)
endfunction()

# quimbo_add_test(<source> LIBRARIES ... [LABELS ...] [TIMEOUT s])
# Registers <folder>-<name> with CTest. Every test runs with HOME pointing at a
# folder whose .asoundrc routes ALSA to the null device, so tests never make
# sound and libao/play succeed on a machine without a sound card.
function(quimbo_add_test source)
    cmake_parse_arguments(ARG "" "TIMEOUT" "LIBRARIES;LABELS;SOURCES" ${ARGN})
    get_filename_component(name ${source} NAME_WE)
    get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_executable(${name} ${source} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} quimbo_testutil Qt6::Test)
    target_compile_definitions(${name} PRIVATE
        QT_FORCE_ASSERTS
        QUIMBO_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
        QUIMBO_GENERATED_DATA="${PROJECT_BINARY_DIR}/testdata"
        QUIMBO_SHARED_BOOKS="${PROJECT_SOURCE_DIR}/../shared/books"
        QUIMBO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        QUIMBO_BINARY_DIR="${PROJECT_BINARY_DIR}")
    add_test(NAME ${folder}-${name} COMMAND ${name})
    set(environment "HOME=${PROJECT_BINARY_DIR}/testhome;QT_QPA_PLATFORM=offscreen")
    if(CMAKE_CROSSCOMPILING_EMULATOR)
        quimbo_emulator_environment(environment)
        # The board's libvlc plug-ins are unpacked, not installed (tools/armhf/vlc-plugins.sh).
        list(APPEND environment "VLC_PLUGIN_PATH=${PROJECT_BINARY_DIR}/vlc/plugins")
        add_dependencies(${name} quimbo_emulatorfork)
        # Emulated code runs several times slower than native code.
        math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 4")
    endif()
    set_tests_properties(${folder}-${name} PROPERTIES
        LABELS "${folder};${ARG_LABELS}"
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "${environment}")
    quimbo_sanitize_test(${folder}-${name})
endfunction()

# quimbo_sanitize_test(<test>): in the sanitized build, hands the test the
# sanitizer options and a longer time limit. Tests registered with add_test()
# directly call it after setting their properties.
function(quimbo_sanitize_test test)
    if(NOT QUIMBO_SANITIZE)
        return()
    endif()
    get_test_property(${test} TIMEOUT timeout)
    if(timeout)
        math(EXPR timeout "${timeout} * ${QUIMBO_SANITIZE_TIMEOUT_FACTOR}")
        set_tests_properties(${test} PROPERTIES TIMEOUT ${timeout})
    endif()
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT ${QUIMBO_SANITIZE_ENVIRONMENT})
endfunction()

# quimbo_add_fuzzer(<name> <source> LIBRARIES ...): libFuzzer target in bin/fuzzers.
function(quimbo_add_fuzzer name source)
    cmake_parse_arguments(ARG "" "" "LIBRARIES" ${ARGN})
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} quimbo_version)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin/fuzzers)
    add_dependencies(fuzzers ${name})
endfunction()

# quimbo_add_benchmark(<source> LIBRARIES ...): built with QUIMBO_BUILD_BENCH, run by bench/run-bench.sh.
function(quimbo_add_benchmark source)
    cmake_parse_arguments(ARG "" "" "LIBRARIES;SOURCES" ${ARGN})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} Qt6::Core Qt6::Test)
    target_compile_definitions(${name} PRIVATE
        QUIMBO_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
        QUIMBO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        QUIMBO_BINARY_DIR="${PROJECT_BINARY_DIR}")
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin/bench)
    set_property(GLOBAL APPEND PROPERTY QUIMBO_BENCHMARKS ${name})
endfunction()

# A folder's library may be declared before any of its classes exist; until
# then it gets an empty translation unit so that configure keeps working.
function(_quimbo_fill_empty name)
    get_target_property(sources ${name} SOURCES)
    if(NOT sources)
        target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
    endif()
endfunction()
