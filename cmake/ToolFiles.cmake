# The tool folder holds the page converter and the viewer files. Each subsystem that
# provides one registers it here; installation and the test fixture both read this list.
#
#   vellora_add_tool_file(<path or generator expression> [RENAME <name>])
#
# The manifest written at generate time lists "source<TAB>name" per line.
function(vellora_add_tool_file source)
    cmake_parse_arguments(ARG "" "RENAME" "" ${ARGN})
    if(ARG_RENAME)
        set(name ${ARG_RENAME})
    else()
        get_filename_component(name "${source}" NAME)
    endif()
    set_property(GLOBAL APPEND PROPERTY VELLORA_TOOL_FILES "${source}\t${name}")
endfunction()

# For a built program, pass its target: vellora_add_tool_program(pdf2swf)
function(vellora_add_tool_program target)
    set_property(GLOBAL APPEND PROPERTY VELLORA_TOOL_FILES "$<TARGET_FILE:${target}>\t${target}")
endfunction()

function(vellora_write_tool_manifest)
    get_property(entries GLOBAL PROPERTY VELLORA_TOOL_FILES)
    set(content "")
    foreach(entry IN LISTS entries)
        string(APPEND content "${entry}\n")
    endforeach()
    file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/tool-files.txt" CONTENT "${content}")
    # Plain files (not programs) are installed from the same list.
    # DESTDIR is honoured, as for every other installed file.
    install(CODE "
        file(STRINGS \"${CMAKE_BINARY_DIR}/tool-files.txt\" lines)
        set(tool_dir \"\$ENV{DESTDIR}${VELLORA_TOOL_INSTALL_DIR}\")
        file(MAKE_DIRECTORY \"\${tool_dir}\")
        foreach(line IN LISTS lines)
            string(REPLACE \"\\t\" \";\" parts \"\${line}\")
            list(GET parts 0 src)
            list(GET parts 1 name)
            message(STATUS \"Installing tool file: \${tool_dir}/\${name}\")
            file(COPY_FILE \"\${src}\" \"\${tool_dir}/\${name}\" ONLY_IF_DIFFERENT)
        endforeach()
    " COMPONENT tools)
endfunction()
