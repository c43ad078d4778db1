# Every target links keelwatch_flags, so warnings, Qt strictness and sanitizers
# are the same everywhere.
add_library(keelwatch_flags INTERFACE)
target_compile_options(keelwatch_flags INTERFACE -Wall -Wextra)
if(KEELWATCH_WERROR)
  target_compile_options(keelwatch_flags INTERFACE -Werror)
endif()
target_compile_definitions(keelwatch_flags INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
  QT_NO_CAST_FROM_BYTEARRAY QT_USE_QSTRINGBUILDER QT_NO_KEYWORDS)

if(KEELWATCH_SANITIZE)
  target_compile_options(keelwatch_flags INTERFACE -fsanitize=${KEELWATCH_SANITIZE} -fno-omit-frame-pointer -g)
  target_link_options(keelwatch_flags INTERFACE -fsanitize=${KEELWATCH_SANITIZE})
  if(KEELWATCH_SANITIZE MATCHES "undefined")
    target_compile_options(keelwatch_flags INTERFACE -fno-sanitize-recover=undefined)
  endif()
endif()

# Coverage feedback for libFuzzer in every library; the fuzz targets link the
# fuzzer's main themselves.
if(KEELWATCH_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KEELWATCH_FUZZ needs clang (CXX=clang++)")
  endif()
  target_compile_options(keelwatch_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()

# A library of one folder of src/.
function(keelwatch_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC keelwatch_flags ${ARG_DEPENDS})
endfunction()
