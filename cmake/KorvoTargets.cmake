# Helpers shared by every folder's CMakeLists.txt.

# korvo_warnings(<target>): our own code builds without a warning.
function(korvo_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()

# korvo_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# A GoogleTest executable whose cases ctest runs one by one.
function(korvo_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
    korvo_warnings(${name})
    set(props TIMEOUT 300)
    if(ARG_LABELS)
        list(APPEND props LABELS "${ARG_LABELS}")
    endif()
    if(ARG_ENV)
        list(APPEND props ENVIRONMENT "${ARG_ENV}")
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

find_package(Threads REQUIRED)
