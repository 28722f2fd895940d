# The soak: the whole library under injected faults for a given time (soak,
# and soak.exe in the Windows build). Included by tests/ and bench/; the first
# defines it. Needs the simulators (gamesim_lib, rigsim_lib).
if(NOT TARGET soak AND TARGET gamesim_lib AND TARGET rigsim_lib AND TARGET portrelay_exports)
  file(GLOB SOAK_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
  add_executable(soak ${SOAK_SOURCES})
  target_link_libraries(soak PRIVATE portrelay_core portrelay_exports portrelay_tool_platform gamesim_lib rigsim_lib)
endif()
