# What `cmake --install` puts beside the programs on Linux (man pages, bash completion,
# the package's copyright and changelog) and the Debian package that cpack makes of it
# all. scripts/package.sh configures with CMAKE_INSTALL_PREFIX=/usr, builds, runs cpack
# and checks the result with lintian.
include(GNUInstallDirs)

set(RBFINDER_PACKAGE_MAINTAINER "RB Finder Dev <dev@rbfinder.invalid>"
    CACHE STRING "Maintainer of the Debian package: name <address>")

set(CPACK_PACKAGE_NAME rb-device-finder)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "RB Finder Dev")
set(CPACK_PACKAGE_CONTACT "${RBFINDER_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "finds RB measurement instruments on the local networks")
# string(CONCAT) keeps the semicolons, which a list would take for separators.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "RB Device Finder sends a small discovery request by UDP multicast from every\n"
    "local IPv4 address and lists the RB-family instruments whose data servers\n"
    "answer.\n"
    "\n"
    "The package holds rb-device-finder, a desktop window that keeps the list of\n"
    "instruments up to date and opens an instrument's web page; rbfind, the same\n"
    "search on the command line, with JSON output, a watch mode and a diagnosis\n"
    "for scripts and headless lab machines; and rbsim, a simulated instrument for\n"
    "test rigs.")

if(UNIX)
    find_program(GZIP_PROGRAM gzip REQUIRED)
    set(RBFINDER_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
    set(packaging_dir ${PROJECT_BINARY_DIR}/packaging)

    # Debian wants man pages and changelogs compressed with gzip -9; -n leaves out the
    # name and time stamp, so that two builds give the same bytes.
    set(gzipped_files)
    function(rbfinder_gzip source name)
        set(copy ${packaging_dir}/${name})
        add_custom_command(OUTPUT ${copy}.gz
            COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
            COMMAND ${GZIP_PROGRAM} -9nf ${copy}
            DEPENDS ${source}
            COMMENT "Compressing ${name}"
            VERBATIM)
        set(gzipped_files ${gzipped_files} ${copy}.gz PARENT_SCOPE)
    endfunction()

    # The newest changelog entry takes the project's version; a release adds an entry.
    configure_file(packaging/changelog.in ${packaging_dir}/changelog.source @ONLY)
    rbfinder_gzip(${packaging_dir}/changelog.source changelog)
    rbfinder_gzip(${PROJECT_SOURCE_DIR}/docs/man/rbfind.1 rbfind.1)
    rbfinder_gzip(${PROJECT_SOURCE_DIR}/docs/man/rbsim.1 rbsim.1)
    rbfinder_gzip(${PROJECT_SOURCE_DIR}/docs/man/rb-device-finder.1 rb-device-finder.1)
    add_custom_target(rbfinder_packaging_files ALL DEPENDS ${gzipped_files})

    install(FILES ${packaging_dir}/rbfind.1.gz ${packaging_dir}/rbsim.1.gz
        ${packaging_dir}/rb-device-finder.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    # The software centres' description of the window, named after its id.
    set(RBFINDER_METAINFO ${packaging_dir}/invalid.rbfinder.RbDeviceFinder.metainfo.xml)
    configure_file(packaging/rb-device-finder.metainfo.xml.in ${RBFINDER_METAINFO} @ONLY)
    install(FILES ${RBFINDER_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES packaging/bash-completion/rbfind
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
    install(FILES packaging/copyright ${packaging_dir}/changelog.gz
        DESTINATION ${RBFINDER_DOC_DIR})

    # The man pages and the completion name the options that --help names, no more.
    if(RBFINDER_BUILD_TESTS)
        add_test(NAME rbfind_option_docs
            COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/check-option-docs.sh
                $<TARGET_FILE:rbfind> ${PROJECT_SOURCE_DIR}/docs/man/rbfind.1
                ${PROJECT_SOURCE_DIR}/packaging/bash-completion/rbfind)
        add_test(NAME rbsim_option_docs
            COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/check-option-docs.sh
                $<TARGET_FILE:rbsim> ${PROJECT_SOURCE_DIR}/docs/man/rbsim.1)
    endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${RBFINDER_PACKAGE_MAINTAINER}")
# dpkg-shlibdeps (from dpkg-dev) finds the libraries the programs link and the Debian
# packages that hold them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window opens a device's web page with xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# A source archive, should anyone make one, leaves out builds and the repository.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/\\\\.cache/")
include(CPack)
