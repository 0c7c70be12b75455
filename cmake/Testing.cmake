find_package(GTest REQUIRED)
include(GoogleTest)

# Every test executable runs with its own data and temporary folders inside
# the build tree (set by tests/TestMain.cpp), so tests never touch the
# user's files.
add_library(test_main STATIC ${PROJECT_SOURCE_DIR}/tests/TestMain.cpp)
target_link_libraries(test_main PUBLIC GTest::gtest GTest::gmock)
target_compile_definitions(test_main PRIVATE RUZIRAZU_BINARY_DIR="${CMAKE_BINARY_DIR}")

# The tsan preset builds the target threaded_tests and runs the tests
# labelled "threads": the folders whose tests run code on several threads.
add_custom_target(threaded_tests)

# ruzirazu_threaded_tests(): labels every test of the calling folder
# "threads" and makes threaded_tests build the folder's targets. A label on
# the folder, since gtest_discover_tests hands its tests a single label.
function(ruzirazu_threaded_tests)
    set_property(DIRECTORY APPEND PROPERTY LABELS threads)
    get_property(targets DIRECTORY PROPERTY BUILDSYSTEM_TARGETS)
    add_dependencies(threaded_tests ${targets})
endfunction()

# ruzirazu_add_test(<target> SOURCES <files...> LIBRARIES <libs...>
#                   [HEADERS_OF <targets...>] [LABELS <labels...>])
# HEADERS_OF gives the headers of targets that the test does not link, such
# as the effect's control positions for tests that drive the built module.
function(ruzirazu_add_test target)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;HEADERS_OF;LABELS" ${ARGN})
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} test_main)
    ruzirazu_include_root(${target} tests)
    foreach(headers ${ARG_HEADERS_OF})
        target_include_directories(${target} PRIVATE
            $<TARGET_PROPERTY:${headers},INTERFACE_INCLUDE_DIRECTORIES>)
    endforeach()
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_compile_definitions(${target} PRIVATE
        RUZIRAZU_BINARY_DIR="${CMAKE_BINARY_DIR}"
        RUZIRAZU_MODULE_PATH="${CMAKE_BINARY_DIR}/bin/Ruzirazu.so"
        RUZIRAZU_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    if(NOT ARG_LABELS)
        set(ARG_LABELS unit)
    endif()
    gtest_discover_tests(${target}
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
