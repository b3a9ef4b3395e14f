# Run by CPack on the staged package, before it is built: what Debian asks of a package beyond
# what `make install` puts down. Manual pages and the changelog are compressed (reproducibly:
# no name, no time stamp in the gzip header).
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/share/man/*.1")
foreach(page ${pages})
    execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cannot compress ${page}")
    endif()
endforeach()
set(doc "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${CPACK_DEMOCD_CHANGELOG}" "${doc}/changelog")
execute_process(COMMAND gzip -9nf "${doc}/changelog" RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cannot compress the changelog")
endif()

# install(PROGRAMS) copies the CD's stand-in programs as built, with their debugging symbols.
find_program(strip_program strip REQUIRED)
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/libexec/democd/*")
foreach(program ${programs})
    execute_process(COMMAND "${strip_program}" --strip-unneeded --remove-section=.comment
                            --remove-section=.note "${program}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cannot strip ${program}")
    endif()
endforeach()
