# Install rules and the Windows installer (CPack's NSIS generator, 64-bit, Chinese):
#
#   cmake --install BUILD --prefix DIR           the programs, the libraries they load, and for
#                                                the desktop program Qt's libraries, plugins and
#                                                Chinese translations beside them
#   cd BUILD && cpack -G NSIS                    Pellucor-<version>-win64.exe
#
# The installer installs for the user who runs it, without administrator rights, into
# %LOCALAPPDATA%\Programs\Pellucor: a Start-menu entry with the program's icon, .pellucor files
# opened by Pellucor, and an uninstaller that removes what it installed and leaves the user's
# files (result files, projects, tables) wherever they are.
set(PELLUCOR_LICENSE "GPL-3.0-or-later")
set(PELLUCOR_COPYRIGHT "2026 The Pellucor developers")
set(PELLUCOR_VENDOR "The Pellucor developers")

# Version and publisher in each program's file properties; the desktop program's icon.
function(pellucor_version_resource target description)
  set(PELLUCOR_RC_NAME ${target})
  set(PELLUCOR_RC_DESCRIPTION "${description}")
  set(CPACK_PACKAGE_VENDOR "${PELLUCOR_VENDOR}")
  set(PELLUCOR_RC_ICON "")
  if(ARGN)
    set(PELLUCOR_RC_ICON "1 ICON \"${ARGN}\"")
  endif()
  set(rc ${PROJECT_BINARY_DIR}/rc/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  if(ARGN)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${ARGN}")
  endif()
endfunction()

pellucor_version_resource(pellucor-cli "Pellucor console: durability of reinforced-concrete members")
install(TARGETS pellucor-cli RUNTIME DESTINATION .)
get_property(pellucor_runtime_libraries GLOBAL PROPERTY PELLUCOR_RUNTIME_LIBRARIES)
install(FILES ${pellucor_runtime_libraries} DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

if(PELLUCOR_GUI)
  # The icon from the pictures tools/make_icon draws at build time.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  get_property(icon_dir GLOBAL PROPERTY PELLUCOR_ICON_DIR)
  set(icon_pictures)
  foreach(size 16 24 32 48 64 128 256)
    list(APPEND icon_pictures ${icon_dir}/pellucor-${size}.png)
  endforeach()
  set(pellucor_ico ${PROJECT_BINARY_DIR}/rc/pellucor.ico)
  add_custom_command(OUTPUT ${pellucor_ico}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/windows/make_ico.py ${pellucor_ico}
            ${icon_pictures}
    DEPENDS pellucor_icons ${PROJECT_SOURCE_DIR}/cmake/windows/make_ico.py
    COMMENT "The program's icon for Windows"
    VERBATIM)
  add_custom_target(pellucor_ico DEPENDS ${pellucor_ico})
  add_dependencies(pellucor pellucor_ico)
  pellucor_version_resource(pellucor "Pellucor: durability of reinforced-concrete members"
                            ${pellucor_ico})
  # A window program: no console window of its own.
  set_target_properties(pellucor PROPERTIES WIN32_EXECUTABLE ON)
  install(TARGETS pellucor RUNTIME DESTINATION .)
  install(FILES ${pellucor_ico} DESTINATION .)

  # Qt's libraries are built against the compiler's shared run-time libraries (Pellucor's own
  # programs link them statically): they go beside Qt, or no Qt library loads.
  foreach(name libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                    OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${dll}" OR NOT EXISTS "${dll}")
      message(FATAL_ERROR "The compiler's run-time library ${name} is not found.")
    endif()
    install(FILES ${dll} DESTINATION .)
  endforeach()

  # Qt's targets (found in the folders that build with it) are looked up here too, or none of
  # the rules below would see them and the installer would hold no Qt at all.
  find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets PrintSupport Svg Charts)

  # Qt beside the program: its libraries, the plugins it loads (the Windows platform, the
  # native style, pictures and SVG icons) and the Chinese translations of its dialogs.
  # Every one of them is required: an installer without one would install a program that
  # does not start.
  foreach(module Core Gui Widgets PrintSupport Svg Charts)
    install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION .)
  endforeach()
  foreach(plugin QWindowsIntegrationPlugin:platforms QWindowsVistaStylePlugin:styles
                 QSvgPlugin:imageformats QJpegPlugin:imageformats QGifPlugin:imageformats
                 QICOPlugin:imageformats QSvgIconPlugin:iconengines)
    string(REPLACE ":" ";" parts ${plugin})
    list(GET parts 0 name)
    list(GET parts 1 folder)
    if(NOT TARGET Qt6::${name})
      message(FATAL_ERROR "Qt's plugin ${name} is not found; the installer needs it.")
    endif()
    install(FILES $<TARGET_FILE:Qt6::${name}> DESTINATION plugins/${folder})
  endforeach()
  # Debian's qt6-translations-l10n: the .qm files are the same on every system.
  foreach(qm qt_zh_CN.qm qtbase_zh_CN.qm)
    find_file(pellucor_qm_${qm} ${qm} PATHS /usr/share/qt6/translations NO_DEFAULT_PATH
              NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    install(FILES ${pellucor_qm_${qm}} DESTINATION translations)
  endforeach()
  file(WRITE ${PROJECT_BINARY_DIR}/qt.conf "[Paths]\nPrefix = .\nPlugins = plugins\nTranslations = translations\n")
  install(FILES ${PROJECT_BINARY_DIR}/qt.conf DESTINATION .)
endif()

set(CPACK_PACKAGE_NAME Pellucor)
set(CPACK_PACKAGE_VENDOR "${PELLUCOR_VENDOR}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "durability calculator for reinforced-concrete members")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Pellucor)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Pellucor)
set(CPACK_PACKAGE_FILE_NAME Pellucor-${PROJECT_VERSION}-win64)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR NSIS)
set(CPACK_NSIS_PACKAGE_NAME "Pellucor ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Pellucor")
set(CPACK_NSIS_INSTALL_ROOT "$LOCALAPPDATA\\\\Programs")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN pellucor.exe)
if(PELLUCOR_GUI)
  set(CPACK_NSIS_MUI_ICON ${pellucor_ico})
  set(CPACK_NSIS_MUI_UNIICON ${pellucor_ico})
  set(CPACK_NSIS_INSTALLED_ICON_NAME pellucor.exe)
  set(CPACK_PACKAGE_EXECUTABLES "pellucor;Pellucor")
  # .pellucor files open in Pellucor (for this user); removed again by the uninstaller, which
  # leaves the files themselves alone.
  string(CONCAT CPACK_NSIS_EXTRA_INSTALL_COMMANDS
    "WriteRegStr HKCU 'Software\\\\Classes\\\\.pellucor' '' 'Pellucor.Project'\n"
    "WriteRegStr HKCU 'Software\\\\Classes\\\\Pellucor.Project' '' 'Pellucor Project'\n"
    "WriteRegStr HKCU 'Software\\\\Classes\\\\Pellucor.Project\\\\DefaultIcon' '' '$INSTDIR\\\\pellucor.exe,0'\n"
    "WriteRegStr HKCU 'Software\\\\Classes\\\\Pellucor.Project\\\\shell\\\\open\\\\command' '' '\"$INSTDIR\\\\pellucor.exe\" \"%1\"'\n"
    "System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'\n")
  string(CONCAT CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
    "ReadRegStr $0 HKCU 'Software\\\\Classes\\\\.pellucor' ''\n"
    "StrCmp $0 'Pellucor.Project' 0 +2\n"
    "DeleteRegKey HKCU 'Software\\\\Classes\\\\.pellucor'\n"
    "DeleteRegKey HKCU 'Software\\\\Classes\\\\Pellucor.Project'\n"
    "System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'\n")
endif()

# CMake's NSIS template, made into a 64-bit Unicode installer in Chinese that installs for the
# current user without asking for administrator rights.
set(pellucor_nsis_dir ${PROJECT_BINARY_DIR}/nsis)
file(READ ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in pellucor_nsis)
# The other languages' lines: the installer speaks Chinese (English where Chinese is missing).
string(REGEX REPLACE "\n  !insertmacro MUI_LANGUAGE \"(Afrikaans|Albanian|Arabic|Asturian|Basque|Belarusian|Bosnian|Breton|Bulgarian|Catalan|Corsican|Croatian|Czech|Danish|Dutch|Esperanto|Estonian|Farsi|Finnish|French|Galician|German|Greek|Hebrew|Hungarian|Icelandic|Indonesian|Irish|Italian|Japanese|Korean|Kurdish|Latvian|Lithuanian|Luxembourgish|Macedonian|Malay|Mongolian|Norwegian|NorwegianNynorsk|Pashto|Polish|Portuguese|PortugueseBR|Romanian|Russian|ScotsGaelic|Serbian|SerbianLatin|SimpChinese|Slovak|Slovenian|Spanish|SpanishInternational|Swedish|Tatar|Thai|TradChinese|Turkish|Ukrainian|Uzbek|Vietnamese|Welsh)\"" "" pellucor_nsis "${pellucor_nsis}")
function(pellucor_nsis_edit from to)
  string(FIND "${pellucor_nsis}" "${from}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "CMake's NSIS template has no '${from}'")
  endif()
  string(REPLACE "${from}" "${to}" edited "${pellucor_nsis}")
  set(pellucor_nsis "${edited}" PARENT_SCOPE)
endfunction()
pellucor_nsis_edit("RequestExecutionLevel admin" "RequestExecutionLevel user")
pellucor_nsis_edit("SetShellVarContext all" "SetShellVarContext current")
pellucor_nsis_edit("StrCpy $SV_ALLUSERS \"AllUsers\"" "StrCpy $SV_ALLUSERS \"JustMe\"")
pellucor_nsis_edit("$DOCUMENTS\\@CPACK_PACKAGE_INSTALL_DIRECTORY@"
                   "@CPACK_NSIS_INSTALL_ROOT@\\@CPACK_PACKAGE_INSTALL_DIRECTORY@")
pellucor_nsis_edit("!insertmacro MUI_LANGUAGE \"English\""
                   "!insertmacro MUI_LANGUAGE \"SimpChinese\"\n  !insertmacro MUI_LANGUAGE \"English\"")
# After the template's first line (which opens with a byte-order mark).
string(FIND "${pellucor_nsis}" "\n" pellucor_nsis_first)
math(EXPR pellucor_nsis_first "${pellucor_nsis_first} + 1")
string(SUBSTRING "${pellucor_nsis}" 0 ${pellucor_nsis_first} pellucor_nsis_head)
string(SUBSTRING "${pellucor_nsis}" ${pellucor_nsis_first} -1 pellucor_nsis_rest)
file(WRITE ${pellucor_nsis_dir}/NSIS.template.in
     "${pellucor_nsis_head}Unicode true\nTarget amd64-unicode\n${pellucor_nsis_rest}")
file(COPY ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.InstallOptions.ini.in DESTINATION ${pellucor_nsis_dir})
set(CPACK_MODULE_PATH ${pellucor_nsis_dir})
include(CPack)
