# The simulated TNC: used by the tests and by tools/tnc-sim, so it links no test framework.
if(NOT TARGET tarvo_tncsim)
  add_library(tarvo_tncsim STATIC ${CMAKE_SOURCE_DIR}/tests/support/TncSimulator.cpp
              ${CMAKE_SOURCE_DIR}/tests/support/TncSimulatorDidadit.cpp
              ${CMAKE_SOURCE_DIR}/tests/support/TncSimulatorSevenPlus.cpp
              ${CMAKE_SOURCE_DIR}/tests/support/TncSimulatorAutobin.cpp)
  target_include_directories(tarvo_tncsim PUBLIC ${CMAKE_SOURCE_DIR})
  # The mailbox's file download uses the project's CRC and MD5.
  target_link_libraries(tarvo_tncsim PUBLIC tarvo_platform tarvo_logic)
  tarvo_warnings(tarvo_tncsim)
endif()
