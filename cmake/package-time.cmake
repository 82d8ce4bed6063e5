# Read by cpack before it makes each package (CPACK_PROJECT_CONFIG_FILE):
# what the packages say of time (their files' times, strip's PE headers) is
# the commit's, as git says at the time the packages are made, unless
# SOURCE_DATE_EPOCH says otherwise. So one commit makes the same packages
# wherever and whenever it is built, in a fresh clone or in a folder that
# packaged an earlier commit.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CPACK_ZAN_SOURCE_DIR}
                  OUTPUT_VARIABLE time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(time)
    set(ENV{SOURCE_DATE_EPOCH} ${time})
  else()
    message(STATUS "No commit time (no git, or no clone, and no SOURCE_DATE_EPOCH): the packages "
                   "take this time, and two builds differ")
  endif()
endif()
