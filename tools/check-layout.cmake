# Fails when a library includes a header of a library above it or beside it.
# cmake -DROOT=<source folder> "-DLAYERS=host;core;..." -P check-layout.cmake
# LAYERS lists the folders from the bottom; folders sharing a level are joined
# by a comma ("updater,pages").
if(NOT ROOT OR NOT LAYERS)
    message(FATAL_ERROR "usage: cmake -DROOT=<dir> -DLAYERS=<list> -P check-layout.cmake")
endif()

set(level 0)
foreach(layer IN LISTS LAYERS)
    string(REPLACE "," ";" folders "${layer}")
    foreach(folder IN LISTS folders)
        set(level_${folder} ${level})
    endforeach()
    math(EXPR level "${level} + 1")
endforeach()

set(violations "")
foreach(layer IN LISTS LAYERS)
    string(REPLACE "," ";" folders "${layer}")
    foreach(folder IN LISTS folders)
        file(GLOB_RECURSE sources RELATIVE ${ROOT}
            ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.h)
        foreach(source IN LISTS sources)
            file(STRINGS ${ROOT}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[a-z]+/")
            foreach(line IN LISTS includes)
                string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([a-z]+)/.*" "\\1" target "${line}")
                if(NOT DEFINED level_${target} OR target STREQUAL folder)
                    continue()
                endif()
                if(NOT level_${target} LESS level_${folder})
                    string(STRIP "${line}" line)
                    list(APPEND violations "${source}: ${line} (${folder} may not use ${target})")
                endif()
            endforeach()
        endforeach()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Includes against the library order:\n  ${text}")
endif()
