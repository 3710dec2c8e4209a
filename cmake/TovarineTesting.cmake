# Helpers shared by every test folder.
include(GoogleTest)
find_package(GTest REQUIRED)

# Adds a subdirectory only once it has a CMakeLists.txt, so each area can grow its own folder.
macro(tovarine_add_subdirectories)
    foreach(_dir ${ARGN})
        if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_dir}/CMakeLists.txt)
            add_subdirectory(${_dir})
        endif()
    endforeach()
endmacro()

# What every test binary, test library and test tool shares without linking the test mains: the hang ceiling of
# waits for real work (tests/support/HangCeiling.h) and the build folder's screenshots/ (Screenshots.h).
add_library(tovarine_test_headers INTERFACE)
target_include_directories(tovarine_test_headers INTERFACE ${CMAKE_CURRENT_LIST_DIR}/../tests/support)
target_compile_definitions(tovarine_test_headers INTERFACE
    TOVARINE_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
# Outside a QTest run Qt's QVERIFY/QCOMPARE/QFAIL (the last step of every QTRY_ wait) only return on failure, so
# a GoogleTest test whose wait gave up would pass. QtChecksFailTests.h, read before each source of every target
# that links this, makes them GoogleTest fatal assertions.
target_link_libraries(tovarine_test_headers INTERFACE Qt6::Test GTest::gtest)
target_compile_options(tovarine_test_headers INTERFACE
    "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/../tests/support/QtChecksFailTests.h>")

# A test's TIMEOUT (seconds) unless it names its own: CTest's last resort against a hang, above the in-test hang
# ceiling so a hung wait fails with its own message first.
set(TOVARINE_TEST_TIMEOUT 600)

# tovarine_add_test(<name> SOURCES ... LIBS ... LABELS core|gui|gl|web|slow [MAIN core|gui|none] [TIMEOUT s] [SERIAL])
# Each GoogleTest case becomes one CTest entry. Discovery runs when the tests run, so a binary that needs a
# display is never started at build time. gui tests use the offscreen platform; gl and web tests need a
# display, which the test script provides with xvfb-run.
function(tovarine_add_test name)
    cmake_parse_arguments(T "SERIAL" "MAIN;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_MAIN)
        set(T_MAIN core)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT ${TOVARINE_TEST_TIMEOUT})
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock tovarine_test_headers ${T_LIBS})
    if(T_MAIN STREQUAL "core")
        target_link_libraries(${name} PRIVATE tovarine_test_main_core)
    elseif(T_MAIN STREQUAL "gui")
        target_link_libraries(${name} PRIVATE tovarine_test_main_gui)
    endif()
    target_compile_definitions(${name} PRIVATE
        TOVARINE_SOURCE_ROOT="${TOVARINE_SOURCE_ROOT}"
        TOVARINE_TESTDATA_DIR="${TOVARINE_SOURCE_ROOT}/testdata"
        TOVARINE_BINARY_ROOT="${CMAKE_BINARY_DIR}")
    # One value per property: gtest_discover_tests flattens list values, so a second ENVIRONMENT entry would be
    # read as a property name. The platform goes in ENVIRONMENT, the sandbox switch in ENVIRONMENT_MODIFICATION.
    set(_platform "QT_QPA_PLATFORM=")
    if("gui" IN_LIST T_LABELS AND NOT "gl" IN_LIST T_LABELS AND NOT "web" IN_LIST T_LABELS)
        set(_platform "QT_QPA_PLATFORM=offscreen")
    endif()
    if("gl" IN_LIST T_LABELS OR "web" IN_LIST T_LABELS)
        set(_platform "QT_QPA_PLATFORM=xcb")
    endif()
    # SERIAL: the test reads back what the shared display shows, so no other test may put windows on it.
    set(_serial FALSE)
    if(T_SERIAL)
        set(_serial TRUE)
    endif()
    # The discovered tests' properties are passed on as one flat list, so a second label would be read as a
    # property name and shift every pair after it. Give discovery the first label only; a script that runs
    # after the discovered tests are defined sets the whole list.
    list(GET T_LABELS 0 _first_label)
    list(LENGTH T_LABELS _label_count)
    if(_label_count GREATER 1)
        set(_labels_script "${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake")
        file(WRITE ${_labels_script}
             "foreach(_test IN LISTS ${name}_TESTS)\n  set_tests_properties(\"\${_test}\" PROPERTIES LABELS \"${T_LABELS}\")\nendforeach()\n")
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 300
        PROPERTIES LABELS "${_first_label}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${_platform}"
                   ENVIRONMENT_MODIFICATION "QTWEBENGINE_DISABLE_SANDBOX=set:1" RUN_SERIAL ${_serial})
    if(_label_count GREATER 1)
        set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_labels_script})
    endif()
endfunction()
