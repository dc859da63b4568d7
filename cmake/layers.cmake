# The layer tests: the include check over the sources, and one program per
# floor that links that floor's library whole (every object, used or not)
# with only what the floor declares below it, so a call upward fails the link.
# Beside them the format check: every C++ file as clang-format-14 writes it.
add_test(NAME layer_includes COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check_layers.sh ${CMAKE_SOURCE_DIR})
add_test(NAME house_format COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check_format.sh ${CMAKE_SOURCE_DIR})
foreach(floor kestrel_platform kestrel_platform_gl kestrel_platform_window kestrel_platform_sound
        kestrel_sync kestrel_music kestrel_assets kestrel_render kestrel_post kestrel_show kestrel_app)
  add_executable(link_${floor} ${CMAKE_SOURCE_DIR}/tests/layers/link_floor.cpp)
  target_link_libraries(link_${floor} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${floor}>")
  set_target_properties(link_${floor} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/layers)
  add_test(NAME link_${floor} COMMAND link_${floor})
endforeach()
# No call circle among the program's files: read from the objects of its library.
add_test(NAME app_call_circles COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check_call_circles.sh
  $<TARGET_FILE:kestrel_app>)
