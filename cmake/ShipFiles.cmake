# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the files the program reads at run time beside the executable. Run in script mode:
#   cmake -DSOURCE=folder -DDEST=folder -DKEEP=ON|OFF -P ShipFiles.cmake
# With KEEP=ON a file that is already there stays as it is (presets the user may have edited);
# otherwise files are replaced when they differ (help pages, the manual). A missing SOURCE is
# no error: that part is not written yet.
if(NOT SOURCE OR NOT DEST)
    message(FATAL_ERROR "ShipFiles.cmake needs SOURCE and DEST")
endif()
if(NOT IS_DIRECTORY "${SOURCE}")
    return()
endif()
file(GLOB_RECURSE files RELATIVE "${SOURCE}" "${SOURCE}/*")
foreach(name ${files})
    set(target "${DEST}/${name}")
    if(KEEP AND EXISTS "${target}")
        continue()
    endif()
    get_filename_component(folder "${target}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(COPY_FILE "${SOURCE}/${name}" "${target}" ONLY_IF_DIFFERENT)
endforeach()
