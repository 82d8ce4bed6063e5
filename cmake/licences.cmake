# The licence, and the notices of the libraries a download bundles, at the
# top of the Windows and web downloads. scripts/package-windows and
# scripts/package-web gather the notices.
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
set(ZAN_NOTICES "" CACHE FILEPATH "The licence notices of the libraries the download bundles")
if(ZAN_NOTICES)
  install(FILES ${ZAN_NOTICES} DESTINATION . RENAME THIRD-PARTY-NOTICES.txt)
endif()
