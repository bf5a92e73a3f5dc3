# Writes the version header that res/Kestrow.rc includes (cmake -P, on every build):
#   -DVERSION=2.4.0 -DNAME=Kestrow -DDESCRIPTION=... -DSOURCE_DIR=... -DOUTPUT=.../version.h
# A build from a git checkout names its commit in the file version text. configure_file leaves an
# unchanged header alone, so a build with no new commit compiles nothing again.
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" parsed "${VERSION}")
if(NOT parsed)
    message(FATAL_ERROR "version ${VERSION} is not major.minor.patch")
endif()
set(VERSION_MAJOR ${CMAKE_MATCH_1})
set(VERSION_MINOR ${CMAKE_MATCH_2})
set(VERSION_PATCH ${CMAKE_MATCH_3})
set(FILE_VERSION_TEXT ${VERSION})
if(EXISTS ${SOURCE_DIR}/.git)
    execute_process(COMMAND git -C ${SOURCE_DIR} rev-parse --short=7 HEAD
        OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(NOT failed AND commit)
        set(FILE_VERSION_TEXT "${VERSION} (${commit})")
    endif()
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/../res/version.h.in ${OUTPUT} @ONLY)
