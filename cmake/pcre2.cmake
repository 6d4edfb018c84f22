# The viewer's regular expressions: PCRE2's 8-bit library, built static from Debian's source package
# (scripts/dev fetches it into build/pcre2; PCRE2_SOURCE_DIR names another copy, for MSVC say). Its
# matcher keeps its backtracking on the heap, within limits that a match is given, so that no
# expression on any line can exhaust the stack or run without end. Without the JIT: the interpreter
# keeps the filter benchmark well within its bound, and one engine is one behaviour to test.
set(PCRE2_SOURCE_DIR "$ENV{PCRE2_SOURCE_DIR}" CACHE PATH "PCRE2's sources (Debian's pcre2 package)")
if(NOT PCRE2_SOURCE_DIR)
  set(PCRE2_SOURCE_DIR "${CMAKE_SOURCE_DIR}/build/pcre2" CACHE PATH "" FORCE)
endif()
if(NOT EXISTS "${PCRE2_SOURCE_DIR}/src/pcre2_match.c")
  message(FATAL_ERROR "PCRE2's sources are not in ${PCRE2_SOURCE_DIR}: scripts/dev fetches them "
                      "(apt-get source pcre2), or set PCRE2_SOURCE_DIR to a copy")
endif()
enable_language(C)
set(BUILD_SHARED_LIBS OFF CACHE BOOL "" FORCE)
set(BUILD_STATIC_LIBS ON CACHE BOOL "" FORCE)
set(PCRE2_BUILD_PCRE2_8 ON CACHE BOOL "" FORCE)
set(PCRE2_SUPPORT_JIT OFF CACHE BOOL "" FORCE)
set(PCRE2_SUPPORT_UNICODE OFF CACHE BOOL "" FORCE)
set(PCRE2_BUILD_PCRE2GREP OFF CACHE BOOL "" FORCE)
set(PCRE2_BUILD_TESTS OFF CACHE BOOL "" FORCE)
set(PCRE2_SHOW_REPORT OFF CACHE BOOL "" FORCE)
add_subdirectory(${PCRE2_SOURCE_DIR} ${CMAKE_BINARY_DIR}/pcre2 EXCLUDE_FROM_ALL)
