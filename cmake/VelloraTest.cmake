# vellora_add_test(<name>
#     LABEL <shell|builder|render|capture|converter|viewer|printer>
#     SOURCES <files...>              a C++ test executable ...
#     | COMMAND <program> <args...>   ... or any other command (node scripts, shell scripts)
#     [LIBRARIES <targets...>]
#     [TOOLS]                         install the tool files into this test's tool folder first
#     [TIMEOUT <seconds>]
#     [ENVIRONMENT <VAR=value>...]
#     [RUN_SERIAL])
#
# Every test runs with the offscreen Qt platform and a home of its own: HOME and the XDG
# folders point into the build tree and are emptied before each run, so the program's tool
# folder ($XDG_DATA_HOME/vellora), working PDF and logs never touch the developer's own.
set(VELLORA_TEST_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/..)

function(vellora_add_test name)
    cmake_parse_arguments(ARG "TOOLS;RUN_SERIAL" "LABEL;TIMEOUT"
                          "SOURCES;COMMAND;LIBRARIES;ENVIRONMENT" ${ARGN})
    if(NOT ARG_LABEL)
        message(FATAL_ERROR "vellora_add_test(${name}): LABEL is required")
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()

    if(ARG_SOURCES)
        add_executable(${name} ${ARG_SOURCES})
        vellora_target_defaults(${name})
        target_link_libraries(${name} PRIVATE vellora_testsupport Qt6::Test ${ARG_LIBRARIES})
        set(command $<TARGET_FILE:${name}>)
    elseif(ARG_COMMAND)
        set(command ${ARG_COMMAND})
    else()
        message(FATAL_ERROR "vellora_add_test(${name}): SOURCES or COMMAND is required")
    endif()

    set(home ${CMAKE_BINARY_DIR}/test-homes/${name})
    add_test(NAME ${name} COMMAND ${command} WORKING_DIRECTORY ${home})

    set(setup_args -DHOME_DIR=${home} -P ${VELLORA_TEST_SOURCE_DIR}/cmake/PrepareTestHome.cmake)
    if(ARG_TOOLS)
        list(PREPEND setup_args -DTOOL_MANIFEST=${CMAKE_BINARY_DIR}/tool-files.txt)
    endif()
    add_test(NAME ${name}.home COMMAND ${CMAKE_COMMAND} ${setup_args})
    set_tests_properties(${name}.home PROPERTIES
        FIXTURES_SETUP ${name}.home LABELS "${ARG_LABEL}" TIMEOUT 60)

    set(env
        QT_QPA_PLATFORM=offscreen
        HOME=${home}/home
        XDG_DATA_HOME=${home}/data
        XDG_CONFIG_HOME=${home}/config
        XDG_CACHE_HOME=${home}/cache
        XDG_STATE_HOME=${home}/state
        XDG_RUNTIME_DIR=${home}/runtime
        VELLORA_SOURCE_DIR=${VELLORA_TEST_SOURCE_DIR}
        VELLORA_BINARY_DIR=${CMAKE_BINARY_DIR})
    if(VELLORA_SANITIZE STREQUAL "thread")
        # Tests start child processes from threaded programs; uninstrumented libraries are
        # listed in the suppressions file.
        list(APPEND env
            TSAN_OPTIONS=suppressions=${VELLORA_TEST_SOURCE_DIR}/tests/tsan.supp:die_after_fork=0)
    endif()
    list(APPEND env ${ARG_ENVIRONMENT})
    set_tests_properties(${name} PROPERTIES
        LABELS "${ARG_LABEL}"
        TIMEOUT ${ARG_TIMEOUT}
        FIXTURES_REQUIRED ${name}.home
        ENVIRONMENT "${env}")
    if(ARG_RUN_SERIAL)
        set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
    endif()
endfunction()
