# Authenticode signing (osslsigncode) of the programs we ship:
#   vexa_sign_executable(<target>)   signs the target's program after every link.
# Without VEXA_SIGNING_CERT and VEXA_SIGNING_KEY the build signs with a
# throwaway self-signed certificate of its own, so the signing path always runs;
# Windows trusts nothing signed with it.
set(VEXA_SIGNING_CERT "" CACHE FILEPATH "Authenticode certificate, PEM or DER (default: a throwaway test certificate)")
set(VEXA_SIGNING_KEY "" CACHE FILEPATH "Private key of VEXA_SIGNING_CERT")
set(VEXA_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server for the signatures (default: none)")

find_program(VEXA_OSSLSIGNCODE osslsigncode REQUIRED)
set(signingDir ${CMAKE_BINARY_DIR}/signing)

if(VEXA_SIGNING_CERT STREQUAL "" AND VEXA_SIGNING_KEY STREQUAL "")
    find_program(VEXA_OPENSSL openssl REQUIRED)
    set(VEXA_SIGNING_CERT_IN_USE ${signingDir}/test-certificate.pem)
    set(VEXA_SIGNING_KEY_IN_USE ${signingDir}/test-key.pem)
    add_custom_command(OUTPUT ${VEXA_SIGNING_CERT_IN_USE} ${VEXA_SIGNING_KEY_IN_USE}
        COMMAND ${VEXA_OPENSSL} genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:3072
                -out ${VEXA_SIGNING_KEY_IN_USE}
        COMMAND ${VEXA_OPENSSL} req -new -x509 -batch -days 3650 -key ${VEXA_SIGNING_KEY_IN_USE}
                -subj "/CN=Vexa 3711 throwaway test signing"
                -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning"
                -out ${VEXA_SIGNING_CERT_IN_USE}
        COMMENT "Making a throwaway self-signed test certificate for Authenticode signing")
    add_custom_target(vexa_signing_identity DEPENDS ${VEXA_SIGNING_CERT_IN_USE} ${VEXA_SIGNING_KEY_IN_USE})
elseif(VEXA_SIGNING_CERT STREQUAL "" OR VEXA_SIGNING_KEY STREQUAL "")
    message(FATAL_ERROR "Set both VEXA_SIGNING_CERT and VEXA_SIGNING_KEY, or neither")
else()
    foreach(file IN ITEMS ${VEXA_SIGNING_CERT} ${VEXA_SIGNING_KEY})
        if(NOT EXISTS ${file})
            message(FATAL_ERROR "Signing file does not exist: ${file}")
        endif()
    endforeach()
    set(VEXA_SIGNING_CERT_IN_USE ${VEXA_SIGNING_CERT})
    set(VEXA_SIGNING_KEY_IN_USE ${VEXA_SIGNING_KEY})
    add_custom_target(vexa_signing_identity)
endif()

# One signing command for CMake targets and for makensis (installer and uninstaller).
set(VEXA_SIGN_FILE ${signingDir}/sign-file)
configure_file(${CMAKE_CURRENT_LIST_DIR}/sign-file.in ${VEXA_SIGN_FILE} @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)

function(vexa_sign_executable target)
    add_dependencies(${target} vexa_signing_identity)
    # A new certificate or signing option signs again.
    set_property(TARGET ${target} APPEND PROPERTY
                 LINK_DEPENDS ${VEXA_SIGNING_CERT_IN_USE} ${VEXA_SIGNING_KEY_IN_USE} ${VEXA_SIGN_FILE})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${VEXA_SIGN_FILE} $<TARGET_FILE:${target}>
        COMMENT "Signing ${target}"
        VERBATIM)
endfunction()
