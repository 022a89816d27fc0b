# One INTERFACE target carries the language level, the warnings and the sanitizers, so that
# every library and program of ours is built the same way. Third-party headers are included
# as SYSTEM and stay out of -Werror.
add_library(quorlin_options INTERFACE)
target_compile_features(quorlin_options INTERFACE cxx_std_20)
target_compile_options(quorlin_options INTERFACE -Wall -Wextra -Wpedantic -Werror)

if(QUORLIN_SANITIZE)
    list(JOIN QUORLIN_SANITIZE "," _quorlin_sanitizers)
    set(_quorlin_sanitize_flags -fsanitize=${_quorlin_sanitizers} -fno-omit-frame-pointer -g)
    if("undefined" IN_LIST QUORLIN_SANITIZE)
        list(APPEND _quorlin_sanitize_flags -fno-sanitize-recover=undefined)
    endif()
    # Applied to the whole build (not only quorlin_options) so that ThreadSanitizer sees
    # every access, our static libraries and the shared SDK alike.
    add_compile_options(${_quorlin_sanitize_flags})
    add_link_options(${_quorlin_sanitize_flags})
endif()

# Registers one GoogleTest program: quorlin_add_test(NAME sources... LIBS libs...)
include(GoogleTest)
function(quorlin_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE quorlin_options GTest::gtest GTest::gtest_main ${ARG_LIBS})
    gtest_discover_tests(${name}
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            TIMEOUT 120
            ${ARG_PROPERTIES})
    # gtest_discover_tests flattens list-valued PROPERTIES (only the first variable of an
    # ENVIRONMENT list would arrive), so the environment is set by a second include file that
    # ctest reads after the discovered tests have been added.
    set(environment "QT_QPA_PLATFORM=offscreen" "QUORLIN_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
        "QUORLIN_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake")
    file(WRITE "${script}" "foreach(test IN LISTS ${name}_TESTS)\n"
        "  set_tests_properties(\"\${test}\" PROPERTIES ENVIRONMENT [==[${environment}]==])\n"
        "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()
