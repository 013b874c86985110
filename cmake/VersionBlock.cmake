# SPDX-License-Identifier: GPL-3.0-or-later
# The version block that executables carry: the program's name and version strings under one
# translation, kept in the ELF section ".quor_version" and read back by the version reader of
# platform/system (VersionBlock.h describes the layout). The block is an OBJECT library, so an
# executable that links it carries it although nothing refers to it.

# Bytes as hexadecimal digit pairs.
function(_quor_u32_le value out)
    set(hex "")
    foreach(shift 0 8 16 24)
        math(EXPR byte "(${value} >> ${shift}) & 255" OUTPUT_FORMAT HEXADECIMAL)
        string(SUBSTRING "${byte}" 2 -1 byte)
        string(LENGTH "${byte}" length)
        if(length EQUAL 1)
            set(byte "0${byte}")
        endif()
        string(APPEND hex "${byte}")
    endforeach()
    set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# Four upper-case hexadecimal digits.
function(_quor_hex4 value out)
    math(EXPR hex "${value} & 65535" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${hex}" 2 -1 hex)
    string(REGEX REPLACE "^.*(....)$" "\\1" hex "0000${hex}")
    string(TOUPPER "${hex}" hex)
    set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# One entry: the path, a zero, the value's length, the value.
function(_quor_entry path value_hex out)
    string(HEX "${path}" path_hex)
    string(LENGTH "${value_hex}" digits)
    math(EXPR length "${digits} / 2")
    _quor_u32_le(${length} length_hex)
    set(${out} "${path_hex}00${length_hex}${value_hex}" PARENT_SCOPE)
endfunction()

# quor_version_block(target LANGUAGE id CODEPAGE id STRINGS key value [key value ...])
function(quor_version_block target)
    # PARSE_ARGV keeps empty values (an empty LegalTrademarks).
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "LANGUAGE;CODEPAGE" "STRINGS")
    math(EXPR translation "(${ARG_CODEPAGE} << 16) | ${ARG_LANGUAGE}")
    _quor_u32_le(${translation} translation_hex)
    _quor_entry("\\VarFileInfo\\Translation" "${translation_hex}" entries)
    _quor_hex4(${ARG_LANGUAGE} language)
    _quor_hex4(${ARG_CODEPAGE} codepage)
    set(block "${language}${codepage}")
    set(strings "${ARG_STRINGS}")
    list(LENGTH strings count)
    math(EXPR last "${count} - 1")
    foreach(i RANGE 0 ${last} 2)
        math(EXPR j "${i} + 1")
        list(GET strings ${i} key)
        list(GET strings ${j} value)
        string(HEX "${value}" value_hex)
        _quor_entry("\\StringFileInfo\\${block}\\${key}" "${value_hex}00" entry)
        string(APPEND entries "${entry}")
    endforeach()
    string(LENGTH "${entries}" digits)
    math(EXPR size "${digits} / 2")
    _quor_u32_le(${size} size_hex)
    string(HEX "QuorVersionInfo" magic_hex)
    set(bytes "${magic_hex}00${size_hex}${entries}")
    string(REGEX REPLACE "(..)" "0x\\1," QUOR_VERSION_BYTES "${bytes}")
    configure_file("${CMAKE_SOURCE_DIR}/cmake/VersionBlock.cpp.in" "${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp" @ONLY)
    add_library(${target} OBJECT "${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp")
endfunction()

quor_version_block(quor_version_block
    LANGUAGE 0x0409 CODEPAGE 0xFDE9
    STRINGS
        CompanyName "Quorvelle"
        FileDescription "${PROJECT_DESCRIPTION}"
        FileVersion "${PROJECT_VERSION}"
        InternalName "quorvelle"
        LegalCopyright "Copyright (C) the Quorvelle developers"
        LegalTrademarks ""
        OriginalFilename "quorvelle"
        ProductName "Quorvelle PS"
        ProductVersion "${PROJECT_VERSION}"
        Comments "${PROJECT_DESCRIPTION}")
