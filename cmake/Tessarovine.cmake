# Warnings are errors in our own code.
add_library(tessarovine_warnings INTERFACE)
target_compile_options(tessarovine_warnings INTERFACE -Wall -Wextra -Werror)

# One library per layer folder: every .cpp of the folder (not of sub-folders
# that are libraries of their own) goes in.
function(tessarovine_layer name)
  cmake_parse_arguments(L "" "" "DIRS;DEPS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS L_DIRS)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${L_DEPS} PRIVATE tessarovine_warnings)
endfunction()

# One GoogleTest executable per test file; cases are registered with CTest.
# SUPPORT names further tests/support sources that the folder's tests use.
function(tessarovine_tests dir)
  cmake_parse_arguments(T "" "" "DEPS;SUPPORT" ${ARGN})
  file(GLOB files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*_test.cpp)
  list(TRANSFORM T_SUPPORT PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/support/)
  foreach(file IN LISTS files)
    get_filename_component(stem ${file} NAME_WE)
    set(target ${dir}_${stem})
    add_executable(${target} ${file} ${CMAKE_CURRENT_SOURCE_DIR}/support/TestSupport.cpp ${T_SUPPORT})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PRIVATE ${T_DEPS} GTest::gtest GTest::gtest_main tessarovine_warnings)
    target_compile_definitions(${target} PRIVATE
      TESSAROVINE_CLI="$<TARGET_FILE:tessarovine-cli>"
      TESSAROVINE_BUILD_DIR="${PROJECT_BINARY_DIR}")
    add_dependencies(${target} tessarovine-cli)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "TZ=UTC")
  endforeach()
endfunction()
