# The Debian package: `cpack` in a build configured with CMAKE_INSTALL_PREFIX=/usr packs what the
# install() rules install. `make package` does all of it.
set(TABULO_MAINTAINER "Tabulo developers <tabulo@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tabulo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TABULO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "HTML index pages for the folders of a web site")
set(CPACK_PACKAGE_DESCRIPTION "Tabulo writes a static index.html into every folder of a tree, listing
subfolders and files with icons, sizes and times, a heading, the folder's own
description and picture. It comes as a desktop window, tabulo, with a live
preview and themes, and as a command line, tabulo-cli, for scripts and servers.")
# Names the .deb tabulo_VERSION_ARCH.deb, the Debian way.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps turns the libraries the programs link into Depends (Qt, cmark, the C++
# runtime).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What no library scan sees: pages open through xdg-open; the scripts written by --scripts run
# under Perl's CGI module on the web server, which may be another machine.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS libcgi-pm-perl)

include(CPack)
