# Run by cpack after its staging install (CPACK_PRE_BUILD_SCRIPTS): adds the files that only the
# Debian package carries, the Debian changelog and the lintian overrides, which
# cmake/VelkorPackaging.cmake made in CPACK_VELKOR_DEBIAN_DIR. (file(COPY): file(INSTALL) would put
# cpack's DESTDIR before the staging path a second time.)
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(permissions FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
if(EXISTS "${CPACK_VELKOR_DEBIAN_DIR}/changelog.Debian.gz")
    file(COPY "${CPACK_VELKOR_DEBIAN_DIR}/changelog.Debian.gz"
         DESTINATION "${root}/share/doc/velkor" ${permissions})
endif()
file(COPY "${CPACK_VELKOR_DEBIAN_DIR}/lintian/velkor"
     DESTINATION "${root}/share/lintian/overrides" ${permissions})
