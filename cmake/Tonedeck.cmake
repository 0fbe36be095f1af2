# td_add_gtest(NAME SOURCES file... LIBS lib...)
# A GoogleTest executable registered with CTest. Widget tests run on the offscreen
# platform; every test gets a private runtime directory and registry store.
function(td_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 30
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TONEDECK_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
                   TIMEOUT 300)
endfunction()

# td_add_library(NAME SOURCES file... PUBLIC_LIBS lib... PRIVATE_LIBS lib...)
function(td_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    add_library(${name} SHARED ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# td_add_deliverable(NAME)
# A deliverable folder: its top-level .cpp files make the headless library NAME (the
# engine, Qt Core only, which tdtool links), its ui/*.cpp the desktop library NAME_ui
# (controllers that own drawers, drawers, dialogs, pages). tests/*_test.cpp and
# ui/tests/*_test.cpp make one test program each.
function(td_add_deliverable name)
    set(dir ${CMAKE_CURRENT_SOURCE_DIR})
    file(GLOB core_sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    file(GLOB ui_sources CONFIGURE_DEPENDS ${dir}/ui/*.cpp)
    file(GLOB core_tests CONFIGURE_DEPENDS ${dir}/tests/*_test.cpp)
    file(GLOB ui_tests CONFIGURE_DEPENDS ${dir}/ui/tests/*_test.cpp)
    set(ui_base tdkit_ui)
    if(core_sources)
        td_add_library(${name} SOURCES ${core_sources} PUBLIC_LIBS tdkit)
        list(APPEND ui_base ${name})
        if(core_tests)
            td_add_gtest(${name}_tests SOURCES ${core_tests} LIBS ${name})
        endif()
    endif()
    if(ui_sources)
        td_add_library(${name}_ui SOURCES ${ui_sources} PUBLIC_LIBS ${ui_base})
        if(ui_tests)
            td_add_gtest(${name}_ui_tests SOURCES ${ui_tests} LIBS ${name}_ui)
        endif()
    endif()
endfunction()
