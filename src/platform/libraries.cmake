# The terminal console draws through ncursesw (wide characters, for CP850
# shown as Unicode). Included by kdx2_subsystem() while kdx2_platform is defined.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KDX2_NCURSESW REQUIRED IMPORTED_TARGET ncursesw)
target_link_libraries(kdx2_platform PUBLIC PkgConfig::KDX2_NCURSESW)

# Printing: the desktop's printers are CUPS queues; a print file reaches them
# as a PDF drawn with cairo.
find_package(Cups REQUIRED)
pkg_check_modules(KDX2_CAIRO REQUIRED IMPORTED_TARGET cairo)
target_link_libraries(kdx2_platform PUBLIC Cups::Cups PkgConfig::KDX2_CAIRO)

# The update check reads the update page and downloads the installer over
# plain HTTP through libcurl.
find_package(CURL REQUIRED)
target_link_libraries(kdx2_platform PUBLIC CURL::libcurl)
