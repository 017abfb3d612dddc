# The tool files: the programs Vellora starts (the page converter, the interpreter helper) and
# the viewer files it copies into each catalogue. Each subsystem that provides one registers it
# here. Programs are installed into <prefix>/lib/vellora, viewer files into
# <prefix>/share/vellora, where the program finds them from its own location; the test fixture
# copies them all into a test home's own tool folder from the manifest.
#
#   vellora_add_tool_file(<path> [RENAME <name>])
#   vellora_add_tool_program(<target>)
#
# The manifest written at generate time lists "source<TAB>name" per line.
set(VELLORA_TOOL_PROGRAM_DIR lib/vellora)
set(VELLORA_TOOL_FILE_DIR ${CMAKE_INSTALL_DATADIR}/vellora)

function(vellora_add_tool_file source)
    cmake_parse_arguments(ARG "" "RENAME" "" ${ARGN})
    if(ARG_RENAME)
        set(name ${ARG_RENAME})
    else()
        get_filename_component(name "${source}" NAME)
    endif()
    set_property(GLOBAL APPEND PROPERTY VELLORA_TOOL_FILES "${source}\t${name}")
    install(FILES "${source}" DESTINATION ${VELLORA_TOOL_FILE_DIR} RENAME ${name})
endfunction()

function(vellora_add_tool_program target)
    set_property(GLOBAL APPEND PROPERTY VELLORA_TOOL_FILES "$<TARGET_FILE:${target}>\t${target}")
    install(TARGETS ${target} RUNTIME DESTINATION ${VELLORA_TOOL_PROGRAM_DIR})
endfunction()

function(vellora_write_tool_manifest)
    get_property(entries GLOBAL PROPERTY VELLORA_TOOL_FILES)
    set(content "")
    foreach(entry IN LISTS entries)
        string(APPEND content "${entry}\n")
    endforeach()
    file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/tool-files.txt" CONTENT "${content}")
endfunction()
