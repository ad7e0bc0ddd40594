# Helpers shared by every target of the project.

# Strict warnings on our own code only (third-party headers come in as SYSTEM).
function(tarvo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# The logic folders together form one layer. Their headers are included as
# "core/GlobalU.h", "channels/KanalU.h", ... from the source root.
function(tarvo_collect_sources out)
  set(result "")
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()
