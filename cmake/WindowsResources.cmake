# The resources both Windows programs carry: the version (the project's), the copyright line of LICENSE, the
# product's icon and a manifest of the program's own.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE QUERNFOLD_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
set(QUERNFOLD_ICON ${PROJECT_SOURCE_DIR}/ui/win32/quernfold.ico)

# quernfold_windows_resources(TARGET DESCRIPTION MANIFEST): compiles a resource script for TARGET, whose file name
# and description go into its version block.
function(quernfold_windows_resources target description manifest)
  set(QUERNFOLD_FILE_NAME ${target}.exe)
  set(QUERNFOLD_DESCRIPTION "${description}")
  set(QUERNFOLD_MANIFEST ${manifest})
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/resources.rc.in ${script} @ONLY)
  target_sources(${target} PRIVATE ${script})
  # A changed icon or manifest rebuilds the resources.
  set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS "${QUERNFOLD_ICON};${manifest}")
endfunction()
