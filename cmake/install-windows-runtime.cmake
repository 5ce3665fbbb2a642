# Run at install time (see windows-package.cmake): installs the DLLs that the program and
# its plugins import, and what those import in turn, except Windows' own. MinGW's
# runtime comes with debug sections that users never need (libstdc++ alone is 24 MB
# with them, 2 MB without), so every DLL is stripped.
set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES ${corvane_executables}
    MODULES ${corvane_modules}
    RESOLVED_DEPENDENCIES_VAR resolved
    UNRESOLVED_DEPENDENCIES_VAR unresolved
    DIRECTORIES ${corvane_search} ${corvane_system_dlls}
    # API sets are names the Windows loader maps, not files.
    PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-"
    POST_EXCLUDE_REGEXES "^${corvane_system_dlls}/")
if(unresolved)
    message(FATAL_ERROR "Not found, neither in Qt, MinGW nor Windows: ${unresolved}")
endif()
set(destination "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
foreach(dll IN LISTS resolved)
    file(REAL_PATH ${dll} original)
    get_filename_component(name ${original} NAME)
    file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}" TYPE SHARED_LIBRARY FILES ${original})
    execute_process(COMMAND ${corvane_strip} --strip-unneeded "${destination}/${name}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
