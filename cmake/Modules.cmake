# The component's modules: one object library per folder of src/, with the
# modules it may use declared. Each module also gets a link check: a shared
# library of the module and everything it may use, linked with
# --no-undefined, so a call into a module above it fails the build.

# marl_module(<name> DIR <folder under src> [DEPS <modules>] [LIBS <libs>])
function(marl_module name)
  cmake_parse_arguments(M "" "DIR" "DEPS;LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${M_DIR}/*.cpp)
  add_library(${name} OBJECT ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/include
                                            ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${MARL_WARNINGS})
  target_link_libraries(${name} PUBLIC ${M_DEPS} ${M_LIBS})

  set(closure ${name})
  set(libs ${M_LIBS})
  foreach(d IN LISTS M_DEPS)
    get_property(c GLOBAL PROPERTY MARL_CLOSURE_${d})
    get_property(l GLOBAL PROPERTY MARL_LIBS_${d})
    list(APPEND closure ${c})
    list(APPEND libs ${l})
  endforeach()
  list(REMOVE_DUPLICATES closure)
  list(REMOVE_DUPLICATES libs)
  set_property(GLOBAL PROPERTY MARL_CLOSURE_${name} ${closure})
  set_property(GLOBAL PROPERTY MARL_LIBS_${name} ${libs})

  set(objects)
  foreach(m IN LISTS closure)
    list(APPEND objects $<TARGET_OBJECTS:${m}>)
  endforeach()
  add_library(${name}_layering SHARED ${objects})
  target_link_libraries(${name}_layering PRIVATE ${libs})
  target_link_options(${name}_layering PRIVATE -Wl,--no-undefined)

  # folder=module=allowed folders, for the include check.
  set(folders)
  foreach(m IN LISTS closure)
    get_property(f GLOBAL PROPERTY MARL_DIR_${m})
    list(APPEND folders ${f})
  endforeach()
  list(APPEND folders ${M_DIR})
  set_property(GLOBAL PROPERTY MARL_DIR_${name} ${M_DIR})
  string(REPLACE ";" "," allowed "${folders}")
  file(APPEND ${CMAKE_BINARY_DIR}/modules.txt.new "${M_DIR}=${allowed}\n")
  file(COPY_FILE ${CMAKE_BINARY_DIR}/modules.txt.new
       ${CMAKE_BINARY_DIR}/modules.txt)
endfunction()

# Sets <var> to <module> and every module it may use.
function(marl_closure var module)
  get_property(c GLOBAL PROPERTY MARL_CLOSURE_${module})
  set(${var} ${c} PARENT_SCOPE)
endfunction()

# Links <target> with the objects of <module>s and everything they use.
function(marl_link_modules target)
  set(all)
  set(libs)
  foreach(module IN LISTS ARGN)
    get_property(c GLOBAL PROPERTY MARL_CLOSURE_${module})
    get_property(l GLOBAL PROPERTY MARL_LIBS_${module})
    list(APPEND all ${c})
    list(APPEND libs ${l})
  endforeach()
  list(REMOVE_DUPLICATES all)
  list(REMOVE_DUPLICATES libs)
  target_link_libraries(${target} PRIVATE ${all} ${libs})
endfunction()

file(REMOVE ${CMAKE_BINARY_DIR}/modules.txt.new)
