# Sanitized builds and fuzz targets; both are off in a normal build.
#
# MARL_SANITIZE=<list> (for instance "address,undefined") compiles and links
#   every target with those sanitizers. Undefined behaviour stops the program
#   instead of printing a report and going on, so a test that hits it fails.
#   Meant for the project's usual compiler (g++), which links the sanitizer
#   runtime into shared libraries too, so the layering link checks still run.
# MARL_FUZZ=ON builds the libFuzzer targets of fuzz/ (clang only): every
#   module is compiled with the fuzzer's coverage instrumentation and with
#   MARL_SANITIZE (address,undefined unless given); the fuzz targets link the
#   fuzzer's driver. The shared libraries (the component server and the
#   layering checks) are left out of the default target there: clang does not
#   link its sanitizer runtime into shared libraries, so their
#   --no-undefined links cannot succeed.
#
# Included before the first target is defined, so the flags reach them all.

set(MARL_SANITIZE "" CACHE STRING
    "Sanitizers for every target, e.g. address,undefined (empty: none)")
option(MARL_FUZZ "Build the libFuzzer targets of fuzz/ (clang)" OFF)

if(MARL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR
            "MARL_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  if(NOT MARL_SANITIZE)
    set(MARL_SANITIZE address,undefined)
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(MARL_SANITIZE)
  add_compile_options(-fsanitize=${MARL_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${MARL_SANITIZE})
endif()

# Called once every target is defined: in a fuzz build, leaves the shared
# libraries (the component server, the modules' layering checks) out of the
# default target.
function(marl_sanitize_finish)
  if(MARL_FUZZ)
    set(shared marlcheckout)
    foreach(m IN LISTS MARL_ALL_MODULES)
      list(APPEND shared ${m}_layering)
    endforeach()
    set_target_properties(${shared} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endfunction()
