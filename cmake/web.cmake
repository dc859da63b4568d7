# The browser build (emcmake, from scripts/web.sh): the same floors as the
# desktop build, with the few platform and program files that differ in the
# browser taken from platform/web/ and app/web/ instead of their desktop
# twins. GLFW, WebGL 1 and the GLEW header come with emscripten; libjpeg and
# Dear ImGui are built for wasm by scripts/web.sh into KESTREL_WEB_LIBS.
set(KESTREL_WEB_LIBS "" CACHE PATH "Folder with include/ and lib/ of the libraries built for wasm")
set(KESTREL_WEB_DATA "" CACHE PATH "The data folder to package (a desktop build's build/data)")
if(NOT KESTREL_WEB_LIBS OR NOT KESTREL_WEB_DATA)
  message(FATAL_ERROR "the browser build needs KESTREL_WEB_LIBS and KESTREL_WEB_DATA (scripts/web.sh sets them)")
endif()

add_library(kestrel_includes INTERFACE)
target_include_directories(kestrel_includes INTERFACE ${CMAKE_SOURCE_DIR})
target_include_directories(kestrel_includes SYSTEM INTERFACE ${KESTREL_WEB_LIBS}/include
  ${KESTREL_WEB_LIBS}/include/imgui ${KESTREL_WEB_LIBS}/include/imgui/backends /usr/include/stb)

function(kestrel_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_link_libraries(${name} PUBLIC kestrel_includes ${L_LINKS})
endfunction()

# Desktop files replaced in the browser by platform/web/<same name>.
set(WEB_PLATFORM_FILES log.cpp files.cpp clock.cpp memory.cpp)
kestrel_layer(kestrel_platform
  SOURCES platform/log.cpp platform/files.cpp platform/clock.cpp platform/memory.cpp
    platform/web/numbers.cpp platform/web/alloc_count.cpp platform/web/watch.cpp platform/web/glibc_rand.cpp
    platform/web/gldebug.cpp platform/window.cpp platform/web/dialog.cpp platform/web/sound.cpp)
kestrel_layer(kestrel_sync SOURCES sync/clock.cpp sync/tracks.cpp sync/track_file.cpp sync/timeline_text.cpp
  sync/live.cpp sync/music.cpp LINKS kestrel_platform)
file(GLOB ASSETS_SOURCES CONFIGURE_DEPENDS assets/*.cpp)
kestrel_layer(kestrel_assets SOURCES ${ASSETS_SOURCES} LINKS kestrel_platform ${KESTREL_WEB_LIBS}/lib/libjpeg.a)
file(GLOB RENDER_SOURCES CONFIGURE_DEPENDS render/*.cpp)
kestrel_layer(kestrel_render SOURCES ${RENDER_SOURCES} LINKS kestrel_assets)
file(GLOB POST_SOURCES CONFIGURE_DEPENDS post/*.cpp)
kestrel_layer(kestrel_post SOURCES ${POST_SOURCES} LINKS kestrel_render)
file(GLOB SHOW_SOURCES CONFIGURE_DEPENDS show/*.cpp)
kestrel_layer(kestrel_show SOURCES ${SHOW_SOURCES} LINKS kestrel_post kestrel_sync)

include(${CMAKE_CURRENT_LIST_DIR}/web_app.cmake)
