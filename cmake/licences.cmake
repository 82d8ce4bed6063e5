# The licence, and the notices of the libraries a download bundles, at the
# top of the Windows and web downloads. scripts/package-windows and
# scripts/package-web gather the notices; a build by hand names its own.
# libtcod's and SDL's licences require them in what is handed on, so without
# them the program builds, but no download (install or cpack) is made.
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
set(ZAN_NOTICES "" CACHE FILEPATH "The licence notices of the libraries the download bundles")
if(ZAN_NOTICES)
  install(FILES ${ZAN_NOTICES} DESTINATION . RENAME THIRD-PARTY-NOTICES.txt)
else()
  install(CODE "message(FATAL_ERROR \"ZAN_NOTICES is not set: a download without the bundled \"
                \"libraries' licence notices (THIRD-PARTY-NOTICES.txt) is not made; see \"
                \"docs/installing.md\")")
endif()
