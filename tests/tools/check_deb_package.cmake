# Builds the Debian package of a build folder into a scratch folder and checks what it holds,
# what it depends on, its desktop entry, MIME type and manual pages, and what lintian says of it
# (any error fails; the warnings are printed). Run by CTest:
#   cmake -DCPACK=... -DDPKG_DEB=... -DBUILD_DIR=... -DSOURCE_DIR=... -DSCRATCH=...
#         -DVELMORAN=... -DVELMORAN_IRD=... -DVELMORAN_EMULATOR=... [-DLINTIAN=...] -P this
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
        ./usr/share/icons/hicolor/scalable/apps/velmoran.svg
        ./usr/share/mime/packages/velmoran.xml
        ./usr/share/doc/velmoran/copyright
        ./usr/share/doc/velmoran/changelog.gz
        ./usr/share/man/man1/velmoran.1.gz
        ./usr/share/man/man1/velmoran-ird.1.gz
        ./usr/share/man/man1/velmoran-emulator.1.gz)
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
                qt6-qpa-plugins qt6-translations-l10n)
    string(REGEX MATCH "(^|, )${package}( |,|$|\n)" found "${depends}")
    if(NOT found)
        message(FATAL_ERROR "Depends lacks ${package}: ${depends}")
    endif()
endforeach()

# No made-up web address: either a real Homepage or none.
execute_process(COMMAND "${DPKG_DEB}" --field "${packages}" Homepage
                OUTPUT_VARIABLE homepage)
if(homepage MATCHES "localhost|example\\.")
    message(FATAL_ERROR "Homepage is not a real address: ${homepage}")
endif()

# The desktop entry starts the installed program with the file a file manager hands it, names
# the installed icon and the capture files' MIME type, and speaks Chinese too.
file(READ "${SOURCE_DIR}/packaging/velmoran.desktop" entry)
foreach(line "[Desktop Entry]" "Type=Application" "Exec=velmoran %f" "Icon=velmoran"
        "MimeType=application/x-velmoran-capture;")
    string(FIND "${entry}" "${line}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the desktop entry lacks \"${line}\"")
    endif()
endforeach()
foreach(key Name Comment)
    if(NOT entry MATCHES "\n${key}\\[zh_CN\\]=[^\n]+\n")
        message(FATAL_ERROR "the desktop entry lacks ${key}[zh_CN]")
    endif()
endforeach()
# ... and the MIME type it names is the one the package registers for *.ird.
file(READ "${SOURCE_DIR}/packaging/velmoran-mime.xml" mime)
foreach(piece "<mime-type type=\"application/x-velmoran-capture\">" "<glob pattern=\"*.ird\"/>"
        "<comment xml:lang=\"zh_CN\">")
    string(FIND "${mime}" "${piece}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the MIME type file lacks ${piece}")
    endif()
endforeach()

# Each manual page documents every option its program's --help lists.
foreach(pair "velmoran=${VELMORAN}" "velmoran-ird=${VELMORAN_IRD}"
        "velmoran-emulator=${VELMORAN_EMULATOR}")
    string(REGEX REPLACE "=.*" "" program "${pair}")
    string(REGEX REPLACE "^[^=]*=" "" path "${pair}")
    execute_process(COMMAND "${path}" --help TIMEOUT 20
                    RESULT_VARIABLE status OUTPUT_VARIABLE usage ERROR_QUIET)
    if(NOT status EQUAL 0)
        message(STATUS "${program} --help gives no usage (${status}): its options are not checked")
        continue()
    endif()
    file(READ "${SOURCE_DIR}/packaging/man/${program}.1" page)
    string(REPLACE "\\-" "-" page "${page}")
    string(REGEX MATCHALL "--[a-z][a-z0-9-]*" options "${usage}")
    list(REMOVE_DUPLICATES options)
    foreach(option ${options})
        string(FIND "${page}" "${option}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "the manual page of ${program} lacks ${option}")
        endif()
    endforeach()
endforeach()

# lintian: no error; its warnings are shown with the test's output.
set(lintian_report "lintian not installed")
if(LINTIAN)
    execute_process(COMMAND "${LINTIAN}" --tag-display-limit 0 --fail-on error "${packages}"
                    RESULT_VARIABLE status OUTPUT_VARIABLE lintian_report
                    ERROR_VARIABLE lintian_errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "lintian reports errors (${status}):\n${lintian_report}"
                            "${lintian_errors}")
    endif()
    if(lintian_report STREQUAL "")
        set(lintian_report "lintian: no errors, no warnings")
    endif()
endif()

file(REMOVE_RECURSE "${SCRATCH}")
message(STATUS "package ok: ${packages}\nDepends: ${depends}\n${lintian_report}")
