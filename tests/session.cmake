# The suite's own session (tests/session) as a fixture: `session`, started
# before the cases that require it and stopped after them, in
# CMAKE_CURRENT_BINARY_DIR/session; the variables given go to the cases.
set(session ${CMAKE_CURRENT_BINARY_DIR}/session)
set(in_session ${PROJECT_SOURCE_DIR}/tests/in-session)
add_test(NAME Session.Start COMMAND ${PROJECT_SOURCE_DIR}/tests/session start ${session} ${session_env})
add_test(NAME Session.Stop COMMAND ${PROJECT_SOURCE_DIR}/tests/session stop ${session})
set_tests_properties(Session.Start PROPERTIES FIXTURES_SETUP session)
set_tests_properties(Session.Stop PROPERTIES FIXTURES_CLEANUP session)
