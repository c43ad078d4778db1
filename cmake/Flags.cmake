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

# Hardened as Debian hardens its packages (dpkg-buildflags with
# hardening=+all): position-independent executables, full RELRO with
# immediate binding, a stack protector, stack clash protection and
# fortified libc calls.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
target_compile_options(keelwatch_flags INTERFACE
  -fstack-protector-strong -fstack-clash-protection -Wformat -Werror=format-security)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|i.86")
  target_compile_options(keelwatch_flags INTERFACE -fcf-protection)
endif()
target_link_options(keelwatch_flags INTERFACE -Wl,-z,relro -Wl,-z,now)
# Fortification needs the optimiser, and the sanitizers check the same calls
# themselves.
if(NOT KEELWATCH_SANITIZE AND NOT KEELWATCH_FUZZ)
  target_compile_definitions(keelwatch_flags INTERFACE
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
endif()

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

# The layers of src/, inward first. A library sees only its own folder and
# those below it: its include root in the build tree holds links to just
# those, so an include of a higher layer does not compile, and linking a
# higher layer's library stops the configuration.
set(keelwatch_layers config scan core report ui app)
# The library of each layer, in the same order.
set(keelwatch_layer_libraries keelwatch_config keelwatch_scan keelwatch_core keelwatch_report
    keelwatch_ui keelwatch_startup)

# The headless sensor stands on report beside ui: it sees report and the
# layers below, never the windows.
set(keelwatch_headless_top report)

# Where a folder stands in the layers: its index, or the headless top's for
# the sensor; -1 for a folder that is no layer.
function(keelwatch_layer_level layer out)
  if(layer STREQUAL "sensor")
    set(layer ${keelwatch_headless_top})
  endif()
  list(FIND keelwatch_layers ${layer} level)
  set(${out} ${level} PARENT_SCOPE)
endfunction()

function(keelwatch_layer_root layer out)
  set(root ${PROJECT_BINARY_DIR}/layers/${layer})
  keelwatch_layer_level(${layer} top)
  file(MAKE_DIRECTORY ${root})
  foreach(i RANGE ${top})
    list(GET keelwatch_layers ${i} folder)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  if(layer STREQUAL "sensor")
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/sensor ${root}/sensor SYMBOLIC)
  endif()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# A library of one folder of src/, named after the folder it is made in.
function(keelwatch_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  get_filename_component(layer ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  keelwatch_layer_level(${layer} level)
  if(level LESS 0)
    message(FATAL_ERROR "${name}: ${layer} is not a layer of src/")
  endif()
  foreach(dependency IN LISTS ARG_DEPENDS)
    list(FIND keelwatch_layer_libraries ${dependency} below)
    if(below GREATER level)
      message(FATAL_ERROR "${name} (${layer}) must not link ${dependency} of a higher layer")
    endif()
  endforeach()
  keelwatch_layer_root(${layer} root)
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC keelwatch_flags ${ARG_DEPENDS})
endfunction()
