# Run by cpack once it has made the Linux download (CPACK_POST_BUILD_SCRIPTS):
# CMake before 4.3 writes the user who builds into every entry of an archive,
# so that two users' archives differ and an unpacking root gets files of a
# stranger's. The archive is packed again with GNU tar, its entries root's,
# in name order, at the commit's time, as it was.
foreach(archive ${CPACK_PACKAGE_FILES})
  set(work ${archive}.owner)
  file(REMOVE_RECURSE ${work})
  file(MAKE_DIRECTORY ${work})
  execute_process(COMMAND tar -xpzf ${archive} -C ${work} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(
    COMMAND sh -c "tar --sort=name --owner=0 --group=0 --numeric-owner \${SOURCE_DATE_EPOCH:+--mtime=@$SOURCE_DATE_EPOCH} \
                   -C \"$1\" -cf - \"$2\" | gzip -9n >\"$3\"" - ${work} ${CPACK_PACKAGE_FILE_NAME} ${archive}
    COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${work})
endforeach()
