# Run by the build (the corvane_layering target) with -DSOURCE_DIR=<project>: fails when a
# file under src/ includes a header of a layer above its own or beside it, or one of the
# stand-ins for the outside world that only tests and tools use.
#
# The layers, bottom first; each may use those before it:
#   core     fetch, resolution, decoding, pictures, tags
#   desktop  what the tool asks of the desktop
#   widgets  the window's own controls
#   ui       the window
#   app      start-up, commands, close
cmake_minimum_required(VERSION 3.25)
set(layers core desktop widgets ui app)
set(stand_ins httptestserver.h musicservice.h scripteddesktop.h pictures.h)
set(problems)
set(below)
foreach(layer IN LISTS layers)
    list(APPEND below ${layer})
    file(GLOB_RECURSE files ${SOURCE_DIR}/src/${layer}/*.h ${SOURCE_DIR}/src/${layer}/*.cpp)
    foreach(file IN LISTS files)
        file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
        file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" header "${line}")
            if(header MATCHES "^([a-z]+)/")
                set(target_layer ${CMAKE_MATCH_1})
                if(target_layer IN_LIST layers AND NOT target_layer IN_LIST below)
                    list(APPEND problems "${shown} (${layer}) includes ${header}, from ${target_layer} above it")
                endif()
            endif()
            get_filename_component(name "${header}" NAME)
            get_filename_component(folder ${file} DIRECTORY)
            if(name IN_LIST stand_ins AND NOT EXISTS ${folder}/${header})
                list(APPEND problems "${shown} includes ${header}, a stand-in for tests and tools")
            endif()
        endforeach()
    endforeach()
endforeach()
if(problems)
    list(JOIN problems "\n  " problems)
    message(FATAL_ERROR "Layering: core <- desktop <- widgets <- ui <- app, nothing upward:\n  ${problems}")
endif()
