# nlohmann/json for the cross build. Its headers live in the host's /usr/include,
# which a MinGW build must not search whole (glibc's headers would shadow
# MinGW's), so only the nlohmann folder is exposed, through a link in the build.
include_guard(GLOBAL)
find_path(VEXA_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT VEXA_NLOHMANN_JSON_INCLUDE)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev (scripts/install-packages)")
endif()
set(vexaJsonInclude ${CMAKE_BINARY_DIR}/generated/json-include)
file(MAKE_DIRECTORY ${vexaJsonInclude})
file(CREATE_LINK ${VEXA_NLOHMANN_JSON_INCLUDE}/nlohmann ${vexaJsonInclude}/nlohmann SYMBOLIC)
add_library(vexa_json_headers INTERFACE)
target_include_directories(vexa_json_headers SYSTEM INTERFACE ${vexaJsonInclude})
