# A cross build's tools, which run on the machine that builds: zan-tileset,
# and for the Windows tests the harness that drives the program under Wine.
# A native build of this project in host/ makes them, with this machine's
# compiler and libraries; they are imported here as host::NAME. Included
# from the top CMakeLists.txt.
include(ExternalProject)
set(zan_host ${CMAKE_BINARY_DIR}/host)
set(zan_host_tools zan-tileset)
set(zan_host_made ${zan_host}/zan-tileset)
set(zan_host_args -DCMAKE_BUILD_TYPE=Release -DZAN_DEPS=${ZAN_DEPS})
if(ZAN_FONT)
  list(APPEND zan_host_args -DZAN_FONT=${ZAN_FONT})
endif()
if(WIN32 AND BUILD_TESTING)
  list(APPEND zan_host_tools demo-test)
  list(APPEND zan_host_made ${zan_host}/tests/demo-test)
  list(APPEND zan_host_args -DBUILD_TESTING=ON -DZAN_TEST_WINE=${CMAKE_BINARY_DIR}/zan-demo-wine)
endif()
ExternalProject_Add(host
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${zan_host}
  CMAKE_ARGS ${zan_host_args}
  BUILD_COMMAND ${CMAKE_COMMAND} --build . --config Release --target ${zan_host_tools}
  BUILD_ALWAYS TRUE
  BUILD_BYPRODUCTS ${zan_host_made}
  INSTALL_COMMAND ""
  # The native build's output, where a failure is read.
  LOG_CONFIGURE TRUE LOG_OUTPUT_ON_FAILURE TRUE)
add_executable(host::zan-tileset IMPORTED)
set_target_properties(host::zan-tileset PROPERTIES IMPORTED_LOCATION ${zan_host}/zan-tileset)
add_executable(host::demo-test IMPORTED)
set_target_properties(host::demo-test PROPERTIES IMPORTED_LOCATION ${zan_host}/tests/demo-test)
