# The stand-in FlexNet driver library: libflxapi.so in a folder of its own, for
# the tests and the demo, and a variant lacking two names for the tests.
set(TARVO_FLEXNET_DIR ${CMAKE_BINARY_DIR}/flexnet)
set(TARVO_FLEXNET_LACKING_DIR ${CMAKE_BINARY_DIR}/flexnet-lacking)
if(NOT TARGET flxapi)
  foreach(variant flxapi flxapi_lacking)
    add_library(${variant} SHARED ${CMAKE_SOURCE_DIR}/tests/support/FlexnetDriverStandIn.cpp)
    target_include_directories(${variant} PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${variant} PRIVATE Threads::Threads)
    set_target_properties(${variant} PROPERTIES OUTPUT_NAME flxapi CXX_VISIBILITY_PRESET hidden NO_SONAME ON)
    tarvo_warnings(${variant})
  endforeach()
  set_target_properties(flxapi PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${TARVO_FLEXNET_DIR})
  set_target_properties(flxapi_lacking PROPERTIES LIBRARY_OUTPUT_DIRECTORY
                                                  ${TARVO_FLEXNET_LACKING_DIR})
  target_compile_definitions(flxapi_lacking PRIVATE FLXSIM_LACKING)
endif()
