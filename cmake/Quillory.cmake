# Shared build helpers.

# The folder that holds testdata/: -DQUILLORY_SHARED_DIR, else the environment's
# QUILLORY_SHARED_DIR (which scripts/pgserver reads too), else ../shared beside the tree.
if(DEFINED ENV{QUILLORY_SHARED_DIR})
  set(quillory_shared_default "$ENV{QUILLORY_SHARED_DIR}")
else()
  set(quillory_shared_default "${CMAKE_SOURCE_DIR}/../shared")
endif()
set(QUILLORY_SHARED_DIR "${quillory_shared_default}" CACHE PATH "Folder holding testdata/")
get_filename_component(QUILLORY_SHARED_DIR "${QUILLORY_SHARED_DIR}" ABSOLUTE)
set(QUILLORY_TESTDATA "${QUILLORY_SHARED_DIR}/testdata")

# quillory_library(name SOURCES ... LIBS ...): one static library per src/ folder.
function(quillory_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
  target_compile_options(${name} PRIVATE -Wall -Wextra)
endfunction()

# quillory_test(name SOURCES ... LIBS ... [ENV k=v ...] [LABELS ...]):
# a Qt Test program run by CTest, linked with what it tests and with test_support (the
# test doubles and fixtures of tests/support). Widget tests run on the offscreen platform.
function(quillory_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test test_support ${A_LIBS})
  target_compile_definitions(${name} PRIVATE
    QUILLORY_TESTDATA="${QUILLORY_TESTDATA}"
    QUILLORY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    QUILLORY_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}"
    # Screenshots and other files a test leaves for people to look at.
    QUILLORY_TEST_OUTPUT_DIR="${CMAKE_BINARY_DIR}/test-output/${name}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${A_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime;${A_ENV}")
  if(A_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
  endif()
endfunction()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/xdg-runtime)
file(CHMOD ${CMAKE_BINARY_DIR}/xdg-runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
