# The recorder's tests: its steps against fakes, and the real binary end to end.

add_executable(vuzizeri_unit_tests vuzizeri_steps_test.cpp vuzizeri_arguments_test.cpp
                                   output_path_test.cpp mp4_writer_test.cpp still_parts_test.cpp
                                   scroll_plan_test.cpp phone_drawing_test.cpp storyboard_test.cpp
                                   agent_checks_test.cpp
                                   ${PROJECT_SOURCE_DIR}/platform/web/origin.cpp)
target_include_directories(vuzizeri_unit_tests PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(vuzizeri_unit_tests PRIVATE vuzizeri_launcher vuzizeri_agent test_support GTest::gtest_main)
target_compile_definitions(vuzizeri_unit_tests PRIVATE SOURCE_DIR="${PROJECT_SOURCE_DIR}")
gtest_discover_tests(vuzizeri_unit_tests)

# The real binary end to end, by theme; tests/support/recorder_test.h runs it.
add_executable(vuzizeri_e2e_tests vuzizeri_e2e_test.cpp vuzizeri_scroll_e2e_test.cpp
                                  vuzizeri_storyboard_e2e_test.cpp vuzizeri_phone_e2e_test.cpp)
target_link_libraries(vuzizeri_e2e_tests PRIVATE test_support scroll_pattern GTest::gtest_main)
target_compile_definitions(vuzizeri_e2e_tests PRIVATE VUZIZERI_BINARY="$<TARGET_FILE:vuzizeri>"
                                                      JUNTAR_BINARY="$<TARGET_FILE:vuzizeri-juntar>"
                                                      VERIFICAR_BINARY="$<TARGET_FILE:vuzizeri-verificar>"
                                                      MATRIZ_SCRIPT="${PROJECT_SOURCE_DIR}/scripts/vuzizeri-matriz"
                                                      TEST_PAGES_DIR="${CMAKE_CURRENT_SOURCE_DIR}/pages")
add_dependencies(vuzizeri_e2e_tests vuzizeri vuzizeri-juntar vuzizeri-verificar)
gtest_discover_tests(vuzizeri_e2e_tests PROPERTIES TIMEOUT 240)

add_executable(vuzizeri_slow_tests vuzizeri_slow_test.cpp)
target_link_libraries(vuzizeri_slow_tests PRIVATE test_support GTest::gtest_main)
target_compile_definitions(vuzizeri_slow_tests PRIVATE VUZIZERI_BINARY="$<TARGET_FILE:vuzizeri>")
add_dependencies(vuzizeri_slow_tests vuzizeri)
gtest_discover_tests(vuzizeri_slow_tests PROPERTIES TIMEOUT 200 LABELS slow)

# The page scripts in a real web view on a private display.
add_executable(page_script_tests page_script_test.cpp support/page_harness.cpp)
target_include_directories(page_script_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(page_script_tests PRIVATE vuzizeri_capture platform_web platform_display
                                                GTest::gtest_main)
gtest_discover_tests(page_script_tests PROPERTIES TIMEOUT 60)

# The store checker over movies made by ffmpeg.
add_executable(store_check_tests store_check_test.cpp)
target_link_libraries(store_check_tests PRIVATE test_support GTest::gtest_main)
target_compile_definitions(store_check_tests
                           PRIVATE VERIFICAR_BINARY="$<TARGET_FILE:vuzizeri-verificar>")
add_dependencies(store_check_tests vuzizeri-verificar)
gtest_discover_tests(store_check_tests PROPERTIES TIMEOUT 120)
