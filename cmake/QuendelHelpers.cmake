# Qt's headers dominate compile time; every target precompiles them once.
function(quendel_use_pch target)
    target_precompile_headers(${target} PRIVATE
        <QtCore/QtCore> <memory> <functional> <vector> <string> <optional> <mutex> <atomic>)
endfunction()

function(quendel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()

# A layer's sources are whatever .cpp files its folder holds, so a new class is just a new file pair.
function(quendel_glob_sources out dir)
    file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
    set(${out} ${_srcs} PARENT_SCOPE)
endfunction()

# One test program; every test of it is discovered into CTest and runs in its own process.
function(quendel_add_test name srcs)
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE quendel_test_support ${ARGN} GTest::gtest GTest::gmock)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    quendel_warnings(${name})
    quendel_use_pch(${name})
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUENDEL_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data"
        TIMEOUT 300)
endfunction()
