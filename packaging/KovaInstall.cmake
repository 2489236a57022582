# Install rules shared by the programs. Two layouts are installed:
#   system   - GNU folders (bin, share, man); `cmake --install` and the .deb
#   portable - one folder laid out as the program expects it; the .tar.gz only
#              (EXCLUDE_FROM_ALL keeps it out of a plain `cmake --install`)

# Sanitizer builds run their programs with leak checks; they package nothing.
if(KOVA_SANITIZE STREQUAL "")
    find_program(HELP2MAN help2man)
    find_program(GZIP gzip)
    if(NOT HELP2MAN OR NOT GZIP)
        message(WARNING "help2man or gzip not found: the manual pages made from --help are not built")
    endif()
endif()

# kova_install_program(<target> [SUMMARY <text>] [MANUAL <page.1.in>] [MANUAL_PROGRAM <target>])
# Installs the program into bin and into the portable folder, and builds its
# manual page section 1: from MANUAL, a written page in which @PROJECT_VERSION@
# is replaced; written by the program MANUAL_PROGRAM, given the page's path;
# or else by help2man from the program's --help, with SUMMARY as the page's
# one-line description.
function(kova_install_program target)
    cmake_parse_arguments(ARG "" "SUMMARY;MANUAL;MANUAL_PROGRAM" "" ${ARGN})
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT system)
    install(TARGETS ${target} RUNTIME DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
    if(NOT KOVA_SANITIZE STREQUAL "" OR NOT GZIP)
        return()
    endif()

    set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
    if(ARG_MANUAL)
        configure_file(${ARG_MANUAL} ${page} @ONLY)
    elseif(ARG_MANUAL_PROGRAM)
        add_custom_command(OUTPUT ${page}
            COMMAND ${ARG_MANUAL_PROGRAM} ${page}
            DEPENDS ${ARG_MANUAL_PROGRAM}
            COMMENT "Manual page of ${target}"
            VERBATIM)
    elseif(HELP2MAN)
        add_custom_command(OUTPUT ${page}
            COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${target}>:$ENV{PATH}"
                ${HELP2MAN} --no-info --version-string=${PROJECT_VERSION}
                "--name=${ARG_SUMMARY}" --output=${page} ${target}
            DEPENDS ${target}
            COMMENT "Manual page of ${target}"
            VERBATIM)
    else()
        return()
    endif()
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${GZIP} -9nkf ${page}
        DEPENDS ${page}
        VERBATIM)
    add_custom_target(${target}-manual ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT system)
endfunction()
