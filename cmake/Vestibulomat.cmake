# Shared build settings: one interface target carries the language level
# and the warnings for every target of the project.
add_library(vm_options INTERFACE)
target_compile_features(vm_options INTERFACE cxx_std_20)
target_compile_options(vm_options INTERFACE -Wall -Wextra -Werror)
target_compile_definitions(vm_options INTERFACE
  QT_USE_QSTRINGBUILDER
  QT_NO_FOREACH
  VESTIBULOMAT_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  VESTIBULOMAT_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  VESTIBULOMAT_VERSION_PATCH=${PROJECT_VERSION_PATCH}
  VESTIBULOMAT_VERSION_TWEAK=${PROJECT_VERSION_TWEAK})

# vm_library(NAME DEPS dep...)
# A subsystem folder is one static library made of every source file in the
# folder itself (sub-folders are not included).
function(vm_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/*.h
    ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  if(NOT sources)
    # A folder that has no code yet still gives a target to link against.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE vm_options ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC vm_options ${ARG_DEPS})
endfunction()
