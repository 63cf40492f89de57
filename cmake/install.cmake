# The version the three programs print with --version, and the installation beyond the programs and
# their data (desktop entry, icon, AppStream, MIME type, manual pages).

# The reverse-DNS name of the desktop entry, icon, AppStream file and MIME package.
set(OBRIN_APP_ID org.obrin.Obrin)

foreach(program obrin obrin-cli obrin-plot)
  if(TARGET ${program})
    target_compile_definitions(${program} PRIVATE OBRIN_VERSION="${PROJECT_VERSION}")
  endif()
endforeach()

add_subdirectory(${CMAKE_SOURCE_DIR}/dist ${CMAKE_BINARY_DIR}/dist)
