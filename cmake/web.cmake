# The browser build (emcmake, from scripts/web.sh): the same floors as the
# desktop build, where a file of platform/web/ or app/web/ takes the place of
# its desktop twin of the same name (or joins the floor when it has none).
# GLFW, WebGL 1 and the GLEW header come with emscripten; libjpeg and Dear
# ImGui are built for wasm by scripts/web.sh into KESTREL_WEB_LIBS.
set(KESTREL_WEB_LIBS "" CACHE PATH "Folder with include/ and lib/ of the libraries built for wasm")
set(KESTREL_WEB_DATA "" CACHE PATH "The data folder to package (a desktop build's build/data)")
set(KESTREL_WEB_OUT "${CMAKE_BINARY_DIR}" CACHE PATH "Where the page's files go")
if(NOT KESTREL_WEB_LIBS OR NOT KESTREL_WEB_DATA)
  message(FATAL_ERROR "the browser build needs KESTREL_WEB_LIBS and KESTREL_WEB_DATA (scripts/web.sh sets them)")
endif()

add_library(kestrel_includes INTERFACE)
target_include_directories(kestrel_includes INTERFACE ${CMAKE_SOURCE_DIR})
target_include_directories(kestrel_includes SYSTEM INTERFACE ${KESTREL_WEB_LIBS}/include
  ${KESTREL_WEB_LIBS}/include/imgui ${KESTREL_WEB_LIBS}/include/imgui/backends)

# kestrel_web_layer(name FOLDER f SOURCES ... LINKS ...): the desktop sources
# of a floor with f/web/*.cpp swapped in by name.
function(kestrel_web_layer name)
  cmake_parse_arguments(L "" "FOLDER" "SOURCES;LINKS" ${ARGN})
  set(sources ${L_SOURCES})
  file(GLOB web_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${L_FOLDER}/web/*.cpp)
  list(FILTER web_sources EXCLUDE REGEX "/main[.]cpp$")
  foreach(w ${web_sources})
    get_filename_component(n ${w} NAME)
    list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/${L_FOLDER}/${n})
  endforeach()
  add_library(${name} STATIC ${sources} ${web_sources})
  target_link_libraries(${name} PUBLIC kestrel_includes ${L_LINKS})
endfunction()

file(GLOB PLATFORM_SOURCES CONFIGURE_DEPENDS platform/*.cpp)
kestrel_web_layer(kestrel_platform FOLDER platform SOURCES ${PLATFORM_SOURCES})
# The show's part of sync/ and the floors between, as on the desktop.
file(GLOB SYNC_SOURCES CONFIGURE_DEPENDS sync/*.cpp)
kestrel_web_layer(kestrel_sync FOLDER sync SOURCES ${SYNC_SOURCES} LINKS kestrel_platform)
file(GLOB ASSETS_SOURCES CONFIGURE_DEPENDS assets/*.cpp)
kestrel_web_layer(kestrel_assets FOLDER assets SOURCES ${ASSETS_SOURCES}
  LINKS kestrel_platform ${KESTREL_WEB_LIBS}/lib/libjpeg.a)
file(GLOB RENDER_SOURCES CONFIGURE_DEPENDS render/*.cpp)
kestrel_web_layer(kestrel_render FOLDER render SOURCES ${RENDER_SOURCES} LINKS kestrel_assets)
file(GLOB POST_SOURCES CONFIGURE_DEPENDS post/*.cpp)
kestrel_web_layer(kestrel_post FOLDER post SOURCES ${POST_SOURCES} LINKS kestrel_render)
file(GLOB SHOW_SOURCES CONFIGURE_DEPENDS show/*.cpp)
kestrel_web_layer(kestrel_show FOLDER show SOURCES ${SHOW_SOURCES} LINKS kestrel_post kestrel_sync)
file(GLOB APP_SOURCES CONFIGURE_DEPENDS app/*.cpp)
list(REMOVE_ITEM APP_SOURCES ${CMAKE_SOURCE_DIR}/app/main.cpp)
kestrel_web_layer(kestrel_app FOLDER app SOURCES ${APP_SOURCES}
  LINKS kestrel_show ${KESTREL_WEB_LIBS}/lib/libimgui.a)

# The page's files: kestrel.js + kestrel.wasm from the program, kestrel.data
# from the data folder, kestrel.html from web/kestrel.html.
add_executable(kestrel app/web/main.cpp)
set_target_properties(kestrel PROPERTIES SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY ${KESTREL_WEB_OUT})
target_link_libraries(kestrel PRIVATE kestrel_app)
target_link_options(kestrel PRIVATE
  -sUSE_GLFW=3 -sFULL_ES2=1 -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1 -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=134217728 -sFORCE_FILESYSTEM=1 -sINVOKE_RUN=0 -sEXIT_RUNTIME=0
  "-sEXPORTED_RUNTIME_METHODS=[FS,callMain,addRunDependency,removeRunDependency,UTF8ToString]"
  --pre-js ${CMAKE_SOURCE_DIR}/web/sound.js
  --preload-file ${KESTREL_WEB_DATA}@/data --exclude-file "*.log")
# rand()'s sequence from the browser's C library with glibc's generator in
# front of it, run under node by tests/web/rand.sh.
add_executable(rand_sequence tests/web/rand_sequence.cpp platform/web/glibc_rand.cpp)
set_target_properties(rand_sequence PROPERTIES SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY ${KESTREL_WEB_OUT})
# The data package is made at link time: a changed data file relinks.
file(GLOB WEB_DATA_FILES ${KESTREL_WEB_DATA}/*)
set_property(TARGET kestrel APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/web/sound.js ${WEB_DATA_FILES})
add_custom_command(TARGET kestrel POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/web/kestrel.html $<TARGET_FILE_DIR:kestrel>/kestrel.html
  VERBATIM)
