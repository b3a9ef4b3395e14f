# Writes runner's desktop entry at install time: with the demo CD installed, the menu opens on
# it; without, on the folder the program finds itself in.
if(DEMOCD_INSTALL_DIR)
    set(RUNNER_EXEC "runner --cd \"${CMAKE_INSTALL_PREFIX}/${DEMOCD_INSTALL_DIR}\"")
else()
    set(RUNNER_EXEC "runner")
endif()
configure_file(${RUNNER_DESKTOP_IN} ${RUNNER_DESKTOP_OUT} @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${APPLICATIONS_DIR}" TYPE FILE
     FILES ${RUNNER_DESKTOP_OUT})
