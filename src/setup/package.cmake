# The package: the files an administrator unpacks into the staging directory, laid out
# in <build>/package/, and a zip of them there.

# One line per file: its name in the package, then the target that builds it. The
# installer must be "Setup.exe", exactly so: that is the name its copy pass leaves alone.
set(LANPORT_PACKAGE_FILES
  Setup.exe       setup
  lanport.dll     lanport
  lanportui.dll   lanportui
  lanportres.dll  lanportres
  lanportctl.exe  lanportctl)

set(LANPORT_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
set(LANPORT_PACKAGE_ZIP ${LANPORT_PACKAGE_DIR}/lanport-${PROJECT_VERSION}-${LANPORT_ARCH}.zip)

set(package_names)
set(package_outputs)
set(package_commands)
set(package_targets)
set(entries ${LANPORT_PACKAGE_FILES})
while(entries)
  list(POP_FRONT entries name target)
  list(APPEND package_names ${name})
  list(APPEND package_outputs ${LANPORT_PACKAGE_DIR}/${name})
  list(APPEND package_targets ${target})
  list(APPEND package_commands
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${LANPORT_PACKAGE_DIR}/${name})
endwhile()

add_custom_command(
  OUTPUT ${package_outputs} ${LANPORT_PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${LANPORT_PACKAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LANPORT_PACKAGE_DIR}
  ${package_commands}
  # Files of an earlier layout do not stay behind; the zip holds the names alone.
  COMMAND ${CMAKE_COMMAND} -E chdir ${LANPORT_PACKAGE_DIR}
          ${CMAKE_COMMAND} -E tar cf ${LANPORT_PACKAGE_ZIP} --format=zip ${package_names}
  DEPENDS ${package_targets}
  COMMENT "Laying out the ${LANPORT_ARCH} package in ${LANPORT_PACKAGE_DIR}"
  VERBATIM)
add_custom_target(package ALL DEPENDS ${package_outputs} ${LANPORT_PACKAGE_ZIP})
