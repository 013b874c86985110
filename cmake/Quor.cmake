# SPDX-License-Identifier: GPL-3.0-or-later
# One static library per source folder, built from every source the folder holds.
# A folder's library links only the folders below it, and it sees no headers but its own and
# those of the libraries it links: each library exports an include root of its own (see
# quor_include_root), never the source root. So an include of a higher layer, or of Qt below
# the Qt side, does not compile there.
function(quor_library name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    quor_include_root(root)
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
    if(NOT sources)
        # A folder still being written gives a target all the same, so the layers above can name it.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE "${root}")
        target_link_libraries(${name} INTERFACE ${ARG_DEPS})
        return()
    endif()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC "${root}")
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# The include root of the current source folder's library: a folder of the build tree that holds
# one link, named by the source folder's path from the source root ("engine", "platform/rtl"),
# to that source folder. "engine/Bezier.h" is found below it, and nothing of another folder is.
function(quor_include_root out)
    file(RELATIVE_PATH folder "${CMAKE_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
    set(root "${CMAKE_CURRENT_BINARY_DIR}/include")
    get_filename_component(parent "${root}/${folder}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}" "${root}/${folder}" SYMBOLIC)
    set(${out} "${root}" PARENT_SCOPE)
endfunction()

# One GoogleTest program per test folder; every test of it is registered with ctest, and the
# program is listed for a whole run (quor_test_run). With PRIVATE_FOLDERS the program runs with
# its temporary, state and application folders private. SOURCES names the program's sources
# (from the current source folder) instead of every source of the folder.
function(quor_test name)
    cmake_parse_arguments(ARG "QT;PRIVATE_FOLDERS" "" "DEPS;SOURCES" ${ARGN})
    if(ARG_SOURCES)
        list(TRANSFORM ARG_SOURCES PREPEND "${CMAKE_CURRENT_SOURCE_DIR}/" OUTPUT_VARIABLE sources)
    else()
        file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
    endif()
    if(NOT sources)
        return()
    endif()
    if(ARG_QT)
        # Widget tests share one QApplication on the offscreen platform.
        list(APPEND sources "${CMAKE_SOURCE_DIR}/tests/support/QtTestMain.cpp")
    endif()
    if(ARG_PRIVATE_FOLDERS)
        list(APPEND sources "${CMAKE_SOURCE_DIR}/tests/support/PrivateFolders.cpp")
    endif()
    add_executable(${name} ${sources})
    # Tests sit on top of every layer and share the helpers of tests/.
    target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}")
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
    if(ARG_QT)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
        target_link_libraries(${name} PRIVATE Qt6::Widgets Qt6::Test)
    else()
        target_link_libraries(${name} PRIVATE GTest::gtest_main)
    endif()
    target_compile_definitions(${name} PRIVATE
        QUOR_TEST_DATA="${QUOR_TEST_DATA}"
        QUOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    set(env "")
    if(ARG_QT)
        set(env QT_QPA_PLATFORM=offscreen)
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${env}")
    quor_test_run(${name} ${env})
endfunction()

# Lists a run of the whole test program with the given environment (VAR=value ...) for
# scripts/run-tests.sh, which runs every listed program shuffled and repeated. The list is
# written by quor_write_test_runs().
function(quor_test_run name)
    list(JOIN ARGN " " env)
    set_property(GLOBAL APPEND PROPERTY QUOR_TEST_RUNS "$<TARGET_FILE:${name}>\t${env}")
endfunction()

# Writes the runs listed so far into tests/runs.txt of the build tree: one line per run, the
# program, a tab, then its environment.
function(quor_write_test_runs)
    get_property(runs GLOBAL PROPERTY QUOR_TEST_RUNS)
    list(JOIN runs "\n" text)
    file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/tests/runs.txt" CONTENT "${text}\n")
endfunction()

# A library of the Qt side: moc and the resource compiler run on it.
function(quor_qt_library name)
    cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h"
        "${CMAKE_CURRENT_SOURCE_DIR}/*.qrc")
    quor_include_root(root)
    foreach(excluded ${ARG_EXCLUDE})
        list(REMOVE_ITEM sources "${CMAKE_CURRENT_SOURCE_DIR}/${excluded}")
    endforeach()
    if(NOT sources)
        # An empty folder still gives a target, so the layers above can name it.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE "${root}")
        target_link_libraries(${name} INTERFACE ${ARG_DEPS} Qt6::Widgets)
        return()
    endif()
    # moc reruns only when a file it read before changes, so a header that the glob finds later
    # would never be looked at. The list of the folder's files is one of the headers it reads.
    list(JOIN sources "\n// " listing)
    file(CONFIGURE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/${name}_files.h" CONTENT "// ${listing}\n")
    list(APPEND sources "${CMAKE_CURRENT_BINARY_DIR}/${name}_files.h")
    add_library(${name} STATIC ${sources})
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON
        AUTOGEN_BUILD_DIR "${CMAKE_CURRENT_BINARY_DIR}/${name}_moc")
    target_include_directories(${name} PUBLIC "${root}")
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} Qt6::Widgets)
endfunction()
