# The Debian package (scripts/package): cpack -G DEB in a build configured
# with OSTREL_UPDATE_CHECKS=OFF. Dependencies come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The ostrel developers")
set(CPACK_PACKAGE_CONTACT "The ostrel developers <${OSTREL_SUPPORT_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "read-only viewer for Outlook PST and OST mail archives")
# The long description only: CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "ostrel shows the folders, messages and attachments of Outlook mail archives
(PST files, and OST files, the offline copies of a mailbox) without Outlook.
It lists a folder's messages newest first, searches them by subject, sender
and text, shows HTML mail with its inline images (remote content is never
loaded) or plain text, and saves attachments. Archives are opened read-only
and never changed.")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${OSTREL_PRODUCT_SITE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Stage with DESTDIR, so the install step leaves the desktop's caches to the
# package manager's triggers.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
