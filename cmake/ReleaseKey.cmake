# The publisher's release key. The launcher offers a newer release only when the
# feed's signature verifies against the public key built into it; the private
# half signs feeds (scripts/package-update --release-key) and stays offline.
# Without VEXA_RELEASE_PUBLIC_KEY the build makes a throwaway pair of its own in
# build/release-key/, which only this build's packaging can sign for.
#   VEXA_RELEASE_PUBLIC_KEY_IN_USE    the public key the launcher trusts
#   VEXA_RELEASE_PRIVATE_KEY_IN_USE   the throwaway private key, or empty
#   ${generated}/ReleasePublicKey.cpp the key's point as the launcher carries it
set(VEXA_RELEASE_PUBLIC_KEY "" CACHE FILEPATH
    "The publisher's EC P-256 public key (PEM), releases must be signed with (default: a throwaway pair)")

set(releaseKeyDir ${CMAKE_BINARY_DIR}/release-key)
set(releaseKeyTool ${CMAKE_CURRENT_LIST_DIR}/release_key.py)
if(VEXA_RELEASE_PUBLIC_KEY STREQUAL "")
    set(VEXA_RELEASE_PRIVATE_KEY_IN_USE ${releaseKeyDir}/release-private.pem)
    set(VEXA_RELEASE_PUBLIC_KEY_IN_USE ${releaseKeyDir}/release-public.pem)
    # Made once: a new pair would make every feed packaged before it untrusted.
    if(NOT EXISTS ${VEXA_RELEASE_PRIVATE_KEY_IN_USE} OR NOT EXISTS ${VEXA_RELEASE_PUBLIC_KEY_IN_USE})
        find_program(VEXA_OPENSSL openssl REQUIRED)
        file(MAKE_DIRECTORY ${releaseKeyDir})
        execute_process(COMMAND ${VEXA_OPENSSL} genpkey -quiet -algorithm EC -pkeyopt ec_paramgen_curve:P-256
                                -out ${VEXA_RELEASE_PRIVATE_KEY_IN_USE}
                        COMMAND_ERROR_IS_FATAL ANY)
        execute_process(COMMAND ${VEXA_OPENSSL} pkey -in ${VEXA_RELEASE_PRIVATE_KEY_IN_USE} -pubout
                                -out ${VEXA_RELEASE_PUBLIC_KEY_IN_USE}
                        COMMAND_ERROR_IS_FATAL ANY)
        message(NOTICE "No VEXA_RELEASE_PUBLIC_KEY given: made a throwaway release key pair in ${releaseKeyDir}/")
    endif()
    message(STATUS "Release key: the throwaway pair in ${releaseKeyDir}/ (no VEXA_RELEASE_PUBLIC_KEY given)")
else()
    set(VEXA_RELEASE_PRIVATE_KEY_IN_USE "")
    set(VEXA_RELEASE_PUBLIC_KEY_IN_USE ${VEXA_RELEASE_PUBLIC_KEY})
    message(STATUS "Release key: ${VEXA_RELEASE_PUBLIC_KEY}")
endif()
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${VEXA_RELEASE_PUBLIC_KEY_IN_USE} ${releaseKeyTool})

execute_process(COMMAND ${Python3_EXECUTABLE} ${releaseKeyTool} public ${VEXA_RELEASE_PUBLIC_KEY_IN_USE}
                OUTPUT_VARIABLE releasePoint ERROR_VARIABLE releaseKeyProblem RESULT_VARIABLE releaseKeyRefused
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
if(releaseKeyRefused)
    message(FATAL_ERROR "VEXA_RELEASE_PUBLIC_KEY must be an EC P-256 public key in PEM, as "
                        "'openssl ec -pubout' writes it: ${releaseKeyProblem}")
endif()
string(REGEX REPLACE "(..)" "0x\\1," releasePointBytes "${releasePoint}")
file(CONFIGURE OUTPUT ${generated}/ReleasePublicKey.cpp CONTENT
"// Generated from ${VEXA_RELEASE_PUBLIC_KEY_IN_USE}: do not edit.
#include \"update/PublisherSignature.h\"

namespace vexa {
const std::array<unsigned char, 64> publisherKeyPoint{${releasePointBytes}};
} // namespace vexa
")
