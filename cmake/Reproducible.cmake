# The Windows binaries are released: the same commit must give the same bytes
# on any machine and in any folder, so that a user can check a download
# against a build of their own. Their debug information is kept, to be split
# off into the debug zip by scripts/package.sh.
if(WIN32)
  # No source or build folder in the objects and their debug information:
  # file names in them read relative to the source tree (plugin/Tavi.cpp).
  # The build folder, where the compiler runs, becomes "."; it comes last
  # because it may lie inside the source tree and the last match wins.
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:CXX>:-g;-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=;-ffile-prefix-map=${PROJECT_BINARY_DIR}=.>")
  # No link time in the PE header.
  add_link_options(-Wl,--no-insert-timestamp)
endif()
