find_package(GTest REQUIRED)
include(GoogleTest)

# Every test process gets its own data folder and temporary folder inside the
# build tree, so tests never touch the user's files and start from nothing.
set(RUZIRAZU_TEST_DATA_HOME ${CMAKE_BINARY_DIR}/test-home/data)
set(RUZIRAZU_TEST_TEMP ${CMAKE_BINARY_DIR}/test-home/tmp)
file(MAKE_DIRECTORY ${RUZIRAZU_TEST_DATA_HOME} ${RUZIRAZU_TEST_TEMP})

# ruzirazu_add_test(<target> SOURCES <files...> LIBRARIES <libs...> [LABELS <labels...>])
function(ruzirazu_add_test target)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;LABELS" ${ARGN})
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main GTest::gmock)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_compile_definitions(${target} PRIVATE
        RUZIRAZU_BINARY_DIR="${CMAKE_BINARY_DIR}"
        RUZIRAZU_MODULE_PATH="${CMAKE_BINARY_DIR}/bin/Ruzirazu.so"
        RUZIRAZU_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    gtest_discover_tests(${target}
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            ENVIRONMENT "XDG_DATA_HOME=${RUZIRAZU_TEST_DATA_HOME};TEMP=${RUZIRAZU_TEST_TEMP}"
            LABELS "${ARG_LABELS}")
endfunction()
