# Builds the Debian package of a build folder into a scratch folder and checks what it holds
# and what it depends on. Run by CTest:
#   cmake -DCPACK=... -DDPKG_DEB=... -DBUILD_DIR=... -DSOURCE_DIR=... -DSCRATCH=... -P this
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(
    COMMAND "${CPACK}" -G DEB --config "${BUILD_DIR}/CPackConfig.cmake" -B "${SCRATCH}"
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cpack failed (${status}):\n${output}")
endif()
file(GLOB packages "${SCRATCH}/*.deb")
list(LENGTH packages count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one .deb in ${SCRATCH}, found ${count}:\n${output}")
endif()

execute_process(COMMAND "${DPKG_DEB}" --contents "${packages}"
                RESULT_VARIABLE status OUTPUT_VARIABLE contents ERROR_VARIABLE contents)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-deb --contents failed:\n${contents}")
endif()
foreach(path
        ./usr/bin/velmoran
        ./usr/bin/velmoran-ird
        ./usr/bin/velmoran-emulator
        ./usr/share/applications/velmoran.desktop
        ./usr/share/icons/hicolor/scalable/apps/velmoran.svg)
    string(FIND "${contents}" " ${path}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the package lacks ${path}:\n${contents}")
    endif()
endforeach()
foreach(program velmoran velmoran-ird velmoran-emulator)
    string(REGEX MATCH "-rwxr-xr-x [^\n]* ./usr/bin/${program}\n" executable "${contents}")
    if(NOT executable)
        message(FATAL_ERROR "/usr/bin/${program} is not executable:\n${contents}")
    endif()
endforeach()

execute_process(COMMAND "${DPKG_DEB}" --field "${packages}" Depends
                OUTPUT_VARIABLE depends RESULT_VARIABLE status)
foreach(package libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 fonts-noto-cjk
                qt6-qpa-plugins)
    string(REGEX MATCH "(^|, )${package}( |,|$|\n)" found "${depends}")
    if(NOT found)
        message(FATAL_ERROR "Depends lacks ${package}: ${depends}")
    endif()
endforeach()

# The desktop entry starts the installed program and names the installed icon.
file(READ "${SOURCE_DIR}/packaging/velmoran.desktop" entry)
foreach(line "[Desktop Entry]" "Type=Application" "Exec=velmoran" "Icon=velmoran")
    string(FIND "${entry}" "${line}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the desktop entry lacks \"${line}\"")
    endif()
endforeach()

file(REMOVE_RECURSE "${SCRATCH}")
message(STATUS "package ok: ${packages}\nDepends: ${depends}")
