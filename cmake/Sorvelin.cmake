# Build helpers shared by every layer.
include(GoogleTest)
include(ExternalProject)

set(SORVELIN_TEST_BIN_DIR ${CMAKE_BINARY_DIR}/tests/bin)

add_library(sorvelin_flags INTERFACE)
target_compile_options(sorvelin_flags INTERFACE -Wall -Wextra -Wpedantic -ffp-contract=off)
if(SORVELIN_WERROR)
    target_compile_options(sorvelin_flags INTERFACE -Werror)
endif()
if(SORVELIN_SANITIZE STREQUAL "address")
    target_compile_options(sorvelin_flags INTERFACE -fsanitize=address,undefined
                           -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(sorvelin_flags INTERFACE -fsanitize=address,undefined)
elseif(SORVELIN_SANITIZE STREQUAL "thread")
    target_compile_options(sorvelin_flags INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(sorvelin_flags INTERFACE -fsanitize=thread)
elseif(SORVELIN_SANITIZE)
    message(FATAL_ERROR "SORVELIN_SANITIZE must be empty, address or thread")
endif()

if(SORVELIN_FUZZ)
    # Coverage for the fuzzer in every library; the fuzz targets add the driver.
    target_compile_options(sorvelin_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                           -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(sorvelin_flags INTERFACE -fsanitize=address,undefined)
endif()

# sorvelin_library(NAME SOURCES ... [DEPS ...] [QT])
# One static library per layer; a QT library is left out of builds without Qt.
function(sorvelin_library name)
    cmake_parse_arguments(ARG "QT" "" "SOURCES;DEPS" ${ARGN})
    if(ARG_QT AND NOT SORVELIN_WITH_QT)
        return()
    endif()
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC sorvelin_flags ${ARG_DEPS})
    if(ARG_QT)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
endfunction()

# sorvelin_test(NAME SOURCES ... [DEPS ...] [QT] [MODEL] [TSAN] [NOSAN])
# A GoogleTest (or Qt Test with QT) executable registered with ctest.
# MODEL: also run under AddressSanitizer + UndefinedBehaviorSanitizer.
# TSAN:  also run under ThreadSanitizer (only for Qt-free threaded code).
# NOSAN: never in the sanitizer trees (a window test against a real server,
#        which those trees, built without the audio backends, cannot reach).
function(sorvelin_test name)
    cmake_parse_arguments(ARG "QT;MODEL;TSAN;QTEST;NOSAN" "" "SOURCES;DEPS" ${ARGN})
    if((ARG_QT OR ARG_QTEST) AND NOT SORVELIN_WITH_QT)
        return()
    endif()
    if(ARG_NOSAN AND SORVELIN_SANITIZE)
        return()
    endif()
    # The AddressSanitizer tree runs the model tests and every window test, so
    # a window freeing what the timer thread still plays is caught there.
    if(SORVELIN_SANITIZE STREQUAL "address" AND NOT ARG_MODEL AND NOT ARG_QTEST)
        return()
    endif()
    if(SORVELIN_SANITIZE STREQUAL "thread" AND NOT ARG_TSAN)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    # Not beside the programs in bin/: there the example tables of the build
    # tree's share/sorvelin would be found, and the tests choose their own.
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${SORVELIN_TEST_BIN_DIR})
    target_link_libraries(${name} PRIVATE sorvelin_flags ${ARG_DEPS})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
    if(ARG_QTEST)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
        target_link_libraries(${name} PRIVATE Qt6::Test)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    else()
        if(ARG_QT)
            set_target_properties(${name} PROPERTIES AUTOMOC ON)
        endif()
        target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock)
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${name}."
                             PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    endif()
    set_property(GLOBAL APPEND PROPERTY SORVELIN_ALL_TESTS ${name})
    if((ARG_MODEL OR ARG_QTEST) AND NOT ARG_NOSAN)
        set_property(GLOBAL APPEND PROPERTY SORVELIN_ASAN_TESTS ${name})
    endif()
    if(ARG_TSAN)
        set_property(GLOBAL APPEND PROPERTY SORVELIN_TSAN_TESTS ${name})
    endif()
endfunction()

# Called at the end of the top-level list file: the sanitizer sub-builds and
# their tests, registered with this build's ctest.
function(sorvelin_finish)
    get_property(asan_tests GLOBAL PROPERTY SORVELIN_ASAN_TESTS)
    get_property(tsan_tests GLOBAL PROPERTY SORVELIN_TSAN_TESTS)
    if(SORVELIN_SANITIZE STREQUAL "address")
        add_custom_target(sorvelin_sanitizer_tests ALL DEPENDS ${asan_tests})
        return()
    elseif(SORVELIN_SANITIZE STREQUAL "thread")
        add_custom_target(sorvelin_sanitizer_tests ALL DEPENDS ${tsan_tests})
        return()
    endif()
    if(NOT SORVELIN_SANITIZER_TESTS)
        return()
    endif()
    foreach(kind asan tsan)
        if(kind STREQUAL "asan")
            set(tests ${asan_tests})
            set(mode address)
            set(qt ${SORVELIN_WITH_QT})
            set(env "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
                    "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/lsan.supp"
                    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
                    "QT_QPA_PLATFORM=offscreen")
        else()
            set(tests ${tsan_tests})
            set(mode thread)
            set(qt OFF)
            set(env "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
        endif()
        if(NOT tests)
            continue()
        endif()
        ExternalProject_Add(${kind}_build
            SOURCE_DIR ${CMAKE_SOURCE_DIR}
            BINARY_DIR ${CMAKE_BINARY_DIR}/${kind}
            CMAKE_ARGS -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1
                       -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER} # a cache, when this build has one
                       -DSORVELIN_SANITIZE=${mode} -DSORVELIN_WITH_QT=${qt}
                       -DSORVELIN_WITH_AUDIO=OFF -DSORVELIN_SANITIZER_TESTS=OFF
                       -DSORVELIN_BENCH=OFF -DSORVELIN_WERROR=${SORVELIN_WERROR}
            BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target sorvelin_sanitizer_tests
            INSTALL_COMMAND ""
            BUILD_ALWAYS ON
            USES_TERMINAL_BUILD ON)
        foreach(t ${tests})
            add_test(NAME ${kind}.${t} COMMAND ${CMAKE_BINARY_DIR}/${kind}/tests/bin/${t})
            set_tests_properties(${kind}.${t} PROPERTIES ENVIRONMENT "${env}" LABELS ${kind})
        endforeach()
    endforeach()
endfunction()
