# The system's logic: standard C++ over the platform interfaces only. No Qt and
# no system include paths reach this target.
set(TARVO_LOGIC_DIRS core channels devices connection filesend stations resources)
tarvo_collect_sources(TARVO_LOGIC_SOURCES ${TARVO_LOGIC_DIRS})
if(TARVO_LOGIC_SOURCES)
  add_library(tarvo_logic STATIC ${TARVO_LOGIC_SOURCES})
  target_include_directories(tarvo_logic PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(tarvo_logic PUBLIC tarvo_platform)
  tarvo_warnings(tarvo_logic)
else()
  add_library(tarvo_logic INTERFACE)
  target_include_directories(tarvo_logic INTERFACE ${CMAKE_SOURCE_DIR})
  target_link_libraries(tarvo_logic INTERFACE tarvo_platform)
endif()

if(TARVO_LOGIC_SOURCES)
  option(TARVO_PRIVATE_BUILD "Mark the build as not for handing on" OFF)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/core/GlobalU.cpp PROPERTIES COMPILE_DEFINITIONS
    "TARVO_VERSION_MAJOR=${PROJECT_VERSION_MAJOR};TARVO_VERSION_MINOR=${PROJECT_VERSION_MINOR};TARVO_VERSION_PATCH=${PROJECT_VERSION_PATCH};TARVO_PRIVATE_BUILD=$<BOOL:${TARVO_PRIVATE_BUILD}>")
endif()
