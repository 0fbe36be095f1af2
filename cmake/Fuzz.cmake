# td_add_fuzzer(NAME SOURCES file... DEPENDS file... CORPUS dir [LIBS flag...] [RUNS n] [SECONDS s])
# A libFuzzer target built with clang++ (the project's compiler cannot build one) beside
# the normal build, and a CTest test that fuzzes briefly from the committed seed corpus.
# New inputs go to a folder in the build tree; the committed corpus is only read. Without
# clang the test reports itself skipped.
find_program(TD_FUZZ_CXX NAMES clang++ clang++-14)
set(TD_FUZZ_OK OFF)
if(TD_FUZZ_CXX AND EXISTS "${TD_FUZZ_CXX}")
    pkg_check_modules(TD_FUZZ_QT QUIET Qt6Core)
    if(TD_FUZZ_QT_FOUND)
        set(TD_FUZZ_OK ON)
    endif()
endif()

function(td_add_fuzzer name)
    cmake_parse_arguments(ARG "" "CORPUS;RUNS;SECONDS" "SOURCES;DEPENDS;LIBS" ${ARGN})
    if(NOT ARG_RUNS)
        set(ARG_RUNS 20000)
    endif()
    if(NOT ARG_SECONDS)
        set(ARG_SECONDS 5)
    endif()
    set(work ${CMAKE_BINARY_DIR}/fuzz/${name})
    set(exe ${work}/${name})
    if(TD_FUZZ_OK)
        add_custom_command(OUTPUT ${exe}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${work}
            COMMAND ${TD_FUZZ_CXX} -std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer
                    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
                    -I${PROJECT_SOURCE_DIR} ${TD_FUZZ_QT_CFLAGS}
                    ${ARG_SOURCES} -o ${exe} ${TD_FUZZ_QT_LDFLAGS} ${ARG_LIBS}
            DEPENDS ${ARG_SOURCES} ${ARG_DEPENDS}
            COMMENT "Building fuzz target ${name} with clang++"
            COMMAND_EXPAND_LISTS VERBATIM)
        add_custom_target(${name} ALL DEPENDS ${exe})
        add_test(NAME ${name}
            COMMAND sh -c "mkdir -p \"$1/new\" && exec \"$2\" -runs=${ARG_RUNS} -max_total_time=${ARG_SECONDS} -timeout=10 -rss_limit_mb=1024 -artifact_prefix=\"$1/\" \"$1/new\" \"$3\""
                    sh ${work} ${exe} ${ARG_CORPUS})
    else()
        add_test(NAME ${name} COMMAND sh -c "echo 'clang++ with libFuzzer not found: skipped'; exit 77")
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT 120 ENVIRONMENT "TMPDIR=${work}")
endfunction()
