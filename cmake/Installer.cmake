# The Windows installer:  cmake --build <build> --target installer
# writes <build>/installer/Vexa3711-Setup-<version>.exe (NSIS), carrying this
# build's payload and launcher, both it and its uninstaller signed.
include(${CMAKE_CURRENT_LIST_DIR}/Signing.cmake)
vexa_sign_executable(Vexa3711)

find_program(VEXA_MAKENSIS makensis REQUIRED)
set(installerDir ${CMAKE_BINARY_DIR}/installer)
set(VEXA_INSTALLER ${installerDir}/Vexa3711-Setup-${VEXA_LAUNCHER_VERSION}.exe)

# Always rebuilt when asked for: the payload may be any folder (VEXA_RELEASE_DIR),
# and a release must never carry a stale file list.
add_custom_target(installer
    COMMAND ${CMAKE_COMMAND} -E make_directory ${installerDir}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/installer/payload_script.py
            ${releaseDir} $<TARGET_FILE:Vexa3711> ${installerDir}/payload.nsh ${installerDir}/controller.mpk
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/installer/make_wizard_bitmap.py ${installerDir}/wizard.bmp
    COMMAND ${VEXA_MAKENSIS} -V2 -INPUTCHARSET UTF8
            -DVERSION=${VEXA_LAUNCHER_VERSION}
            -DPAYLOAD_DIR=${releaseDir} -DPAYLOAD_SCRIPT=${installerDir}/payload.nsh
            -DCONTROLLER_PAK=${installerDir}/controller.mpk
            -DWIZARD_BITMAP=${installerDir}/wizard.bmp
            -DOUTFILE=${VEXA_INSTALLER} -DSIGNER=${VEXA_SIGN_FILE}
            ${CMAKE_SOURCE_DIR}/tools/installer/Vexa3711.nsi
    BYPRODUCTS ${VEXA_INSTALLER}
    COMMENT "Building ${VEXA_INSTALLER}"
    VERBATIM)
add_dependencies(installer Vexa3711 installation_table vexa_signing_identity)

if(BUILD_TESTING)
    # Builds the installer and the wizard's driver for the test that needs them, and nothing else.
    add_test(NAME installer_build
             COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target installer vexa_window_driver)
    add_test(NAME installer
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/installer/installer_test.py
                     ${CMAKE_BINARY_DIR} ${VEXA_INSTALLER} ${VEXA_SIGNING_CERT_IN_USE})
    set_tests_properties(installer_build PROPERTIES LABELS installer FIXTURES_SETUP installer_built)
    set_tests_properties(installer PROPERTIES LABELS installer FIXTURES_REQUIRED installer_built TIMEOUT 600)
endif()
