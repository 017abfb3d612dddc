# Run by CTest before each test: gives the test an empty home and, when asked, a tool folder
# holding the freshly built converter and viewer files.
#   cmake -DHOME_DIR=<dir> [-DTOOL_MANIFEST=<tool-files.txt>] -P PrepareTestHome.cmake
file(REMOVE_RECURSE "${HOME_DIR}")
foreach(sub home data config cache state runtime)
    file(MAKE_DIRECTORY "${HOME_DIR}/${sub}")
endforeach()
file(CHMOD "${HOME_DIR}/runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

if(DEFINED TOOL_MANIFEST)
    set(tool_dir "${HOME_DIR}/data/vellora")
    file(MAKE_DIRECTORY "${tool_dir}")
    file(STRINGS "${TOOL_MANIFEST}" lines)
    foreach(line IN LISTS lines)
        string(REPLACE "\t" ";" parts "${line}")
        list(GET parts 0 src)
        list(GET parts 1 name)
        if(NOT EXISTS "${src}")
            message(FATAL_ERROR "Tool file ${src} has not been built")
        endif()
        file(COPY_FILE "${src}" "${tool_dir}/${name}")
    endforeach()
endif()
