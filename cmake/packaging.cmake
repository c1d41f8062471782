# The release a user installs: a zip to unpack anywhere and a per-user NSIS
# installer, both made by CPack from these install rules.
#   cpack -G ZIP  -> vocaret-<version>-win32.zip
#   cpack -G NSIS -> vocaret-<version>-win32-setup.exe
# The program finds its cues as "Sounds\<file>" relative to its current
# directory, so the exe and the Sounds folder always sit side by side.

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(vocaret_package_arch win32)
else()
    set(vocaret_package_arch win64)
endif()

install(TARGETS vocaret RUNTIME DESTINATION .)
install(DIRECTORY ${VOCARET_SOUNDS_DIR} DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/README.txt ${VOCARET_CUE_LIST} DESTINATION .)
# The spoken tour of the cues (sounds/tour.cpp): Bemutato\ beside Sounds\.
install(DIRECTORY ${VOCARET_TOUR_DIR} DESTINATION .)

set(CPACK_PACKAGE_NAME Vocaret)
set(CPACK_PACKAGE_VENDOR "${VOCARET_VENDOR}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Audible cues for well-known elements of a Hungarian Windows desktop")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME vocaret-${PROJECT_VERSION}-${vocaret_package_arch})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Vocaret)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Vocaret)
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
# vocaret.exe, README.txt and Sounds\ at the top of the zip: Explorer's
# "Extract all" already proposes a folder named after the zip.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES OFF)

# NSIS: our own template (packaging/NSIS.template.in) for a per-user install
# without administrator rights; makensis is Debian's.
find_program(VOCARET_MAKENSIS makensis)
set(CPACK_NSIS_EXECUTABLE ${VOCARET_MAKENSIS})
set(CPACK_MODULE_PATH ${CMAKE_SOURCE_DIR}/packaging)
set(CPACK_NSIS_PACKAGE_NAME Vocaret)
set(CPACK_NSIS_DISPLAY_NAME "Vocaret ${PROJECT_VERSION}")
set(CPACK_NSIS_INSTALLED_ICON_NAME vocaret.exe)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# Only the installer's name differs from the zip's.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/packaging/cpack-per-generator.cmake)

include(CPack)
