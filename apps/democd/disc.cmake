# make cd-image: the demo disc as an ISO 9660 image with Joliet (the names Windows reads) and
# Rock Ridge (the names and modes Linux reads): the Windows programs where the menu expects
# them, the Linux demo CD in linux/. It needs the Windows build (make windows) in WINDOWS_DIR.
set(WINDOWS_DIR ${CMAKE_SOURCE_DIR}/build/windows CACHE PATH "the Windows build (make windows)")
set(DISC_IMAGE ${CMAKE_BINARY_DIR}/democd.iso CACHE FILEPATH "the disc image make cd-image makes")
find_program(XORRISO xorriso)
if(NOT XORRISO)
    return()
endif()
set(disc ${CMAKE_BINARY_DIR}/disc)
add_custom_target(cd-image
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/disc_layout.sh ${DEMOCD_DIR} ${WINDOWS_DIR} ${disc}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${DISC_IMAGE}.new
    COMMAND ${XORRISO} -as mkisofs -quiet -o ${DISC_IMAGE}.new -V ZENTHOR_DEMO -J -joliet-long
            -r --hardlinks ${disc}
    COMMAND ${CMAKE_COMMAND} -E rename ${DISC_IMAGE}.new ${DISC_IMAGE}
    COMMAND ${CMAKE_COMMAND} -E echo "disc image: ${DISC_IMAGE}"
    DEPENDS democd
    COMMENT "Making the disc image"
    VERBATIM)
