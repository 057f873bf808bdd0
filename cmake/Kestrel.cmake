# Helpers shared by the subsystems' CMakeLists.

set(KESTREL_CE_INCLUDE ${CMAKE_SOURCE_DIR}/ce/include)
# The Wine prefix lives in the build tree; its drive_c is the device's file system, so
# "\gsminfo.txt" and friends land there when a program runs with it as current folder.
set(KESTREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(KESTREL_DEVICE_ROOT ${KESTREL_WINEPREFIX}/drive_c)

# kestrel_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [DEPENDS target...] [PROPERTIES k v ...])
# One GoogleTest executable, run as one ctest test through Wine. One ctest test per
# executable keeps the run fast: every Wine process start costs time.
function(kestrel_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;DEPENDS;PROPERTIES" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
    target_include_directories(${name} PRIVATE ${KESTREL_CE_INCLUDE})
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no
             WORKING_DIRECTORY ${KESTREL_DEVICE_ROOT})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 ${T_PROPERTIES})
endfunction()

# kestrel_deliverable(TARGET): the two libraries that go onto the phone. An escaping C++
# exception ends the process through abort() instead of the verbose terminate handler, which
# alone would pull the demangler and a printf implementation (about 60 KB) into the library.
function(kestrel_deliverable target)
    target_link_options(${target} PRIVATE
        -Wl,--defsym,_ZN9__gnu_cxx27__verbose_terminate_handlerEv=abort)
endfunction()

# kestrel_unloadable(TARGET): a library that may be unloaded gives the C++ runtime's exception
# pool back from its DllMain (util/RuntimePool). Compiled into each library, so that one
# built without util/ in the tree still has it.
function(kestrel_unloadable target)
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/util/RuntimePool.cpp)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/util)
endfunction()
