# Includes run only downwards: a folder includes its own headers and those of folders on a lower
# floor, never one beside or above it. The floors, from the ground: core, infrared, interchange,
# acquisition / files / display (and about), navigator, app, tools. Run as: cmake -DSOURCE_DIR=... -P check_includes.cmake
set(floors
    "core:0"
    "infrared:1"
    "interchange:2"
    "acquisition:3" "files:3" "display:3" "about:3"
    "navigator:4"
    "app:5"
    "tools:6")
foreach(entry IN LISTS floors)
    string(REPLACE ":" ";" pair "${entry}")
    list(GET pair 0 folder)
    list(GET pair 1 floor)
    set(floor_${folder} ${floor})
    list(APPEND folders ${folder})
endforeach()

set(upward "")
foreach(folder IN LISTS folders)
    file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" lines REGEX "^#include \"[a-z_]+/")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" target "${line}")
            if(target STREQUAL folder OR NOT DEFINED floor_${target})
                continue()
            endif()
            if(NOT floor_${target} LESS floor_${folder})
                file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
                list(APPEND upward "${shown}: ${line}")
            endif()
        endforeach()
    endforeach()
endforeach()
if(upward)
    list(JOIN upward "\n  " text)
    message(FATAL_ERROR "includes that do not run downwards:\n  ${text}")
endif()
message(STATUS "every include runs downwards")
