# Install rules and the Debian package.
#
#   cmake --install BUILD [--prefix /usr/local]   installs the desktop program, the console front
#                                                 end, the desktop entry, the icon and the licence
#   cpack --config BUILD/CPackConfig.cmake -G DEB builds pellucor_<version>_<arch>.deb
#
# The package's library dependencies are read from the binaries by dpkg-shlibdeps; what the
# program needs besides them (the toolkit's Chinese translations, fonts with Chinese glyphs) is
# listed here.
include(GNUInstallDirs)

set(PELLUCOR_LICENSE "GPL-3.0-or-later")
set(PELLUCOR_COPYRIGHT "2026 The Pellucor developers")
set(PELLUCOR_SUMMARY "durability calculator for reinforced-concrete members")

install(TARGETS pellucor-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(PELLUCOR_GUI)
  install(TARGETS pellucor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/app/pellucor/pellucor.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  get_property(icon_dir GLOBAL PROPERTY PELLUCOR_ICON_DIR)
  get_property(icon_sizes GLOBAL PROPERTY PELLUCOR_ICON_SIZES)
  foreach(size IN LISTS icon_sizes)
    install(FILES ${icon_dir}/pellucor-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME pellucor.png)
  endforeach()
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pellucor)

set(CPACK_PACKAGE_NAME pellucor)
set(CPACK_PACKAGE_VENDOR "The Pellucor developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PELLUCOR_SUMMARY})
# Debian wants the long description in lines of under 80 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "From a handful of numbers (environment, concrete, cover, steel) each of its\n"
  "five modules - carbonation; chloride ingress with a constant or an\n"
  "age-dependent diffusion coefficient; marine-atmosphere chloride; chloride\n"
  "admixed at casting - computes when the steel starts to corrode, when and at\n"
  "what corrosion depth the cover cracks, the corrosion depth and crack width at\n"
  "the inspection age, and when the durable life ends. The forms and reports are\n"
  "in simplified Chinese. The package holds the desktop program (pellucor) and\n"
  "its console front end (pellucor-cli).\n"
  "Licence: ${PELLUCOR_LICENSE}.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Pellucor developers <pellucor@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The workbook library is loaded by name when the first workbook is written, so the package
# tools do not see it among the linked libraries: name its package here.
set(pellucor_runtime_depends "")
if(PELLUCOR_XLSXWRITER)
  get_filename_component(pellucor_xlsx_real ${PELLUCOR_XLSXWRITER} REALPATH)
  execute_process(COMMAND dpkg-query -S ${pellucor_xlsx_real}
                  OUTPUT_VARIABLE pellucor_xlsx_owner ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REGEX MATCH "^[^:]+" pellucor_xlsx_package "${pellucor_xlsx_owner}")
  if(pellucor_xlsx_package)
    set(pellucor_runtime_depends "${pellucor_xlsx_package}")
  endif()
endif()
# The zip library that reads member tables from workbooks is loaded the same way.
if(PELLUCOR_LIBZIP)
  get_filename_component(pellucor_libzip_real ${PELLUCOR_LIBZIP} REALPATH)
  execute_process(COMMAND dpkg-query -S ${pellucor_libzip_real}
                  OUTPUT_VARIABLE pellucor_libzip_owner ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REGEX MATCH "^[^:]+" pellucor_libzip_package "${pellucor_libzip_owner}")
  if(pellucor_libzip_package)
    list(APPEND pellucor_runtime_depends "${pellucor_libzip_package}")
  endif()
endif()
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${pellucor_runtime_depends})
if(PELLUCOR_GUI)
  string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${pellucor_runtime_depends} qt6-translations-l10n
         "fonts-arphic-uming | fonts-noto-cjk")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-arphic-ukai")
endif()
include(CPack)
